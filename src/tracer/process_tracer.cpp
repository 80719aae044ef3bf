#include "tracer/process_tracer.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "devnodes/trace_devices.h"
#include "tracer/trace_memory.h"

namespace vantrel {
namespace {

// ptrace takes its options, signals and such as an integer in the place of
// its data pointer.
void* PtraceData(intptr_t value) {
    return reinterpret_cast<void*>(value);  // NOLINT(performance-no-int-to-ptr)
}

#if defined(__x86_64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
#error "the trace driver knows the system call numbers of x86-64 and arm64 only"
#endif

// Exit codes of the forked child when it could not become a tracee.
constexpr int kChildNoSeccomp = 121;
constexpr int kChildNoExec = 127;

constexpr uint64_t kTraceOptions = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE |
                                   PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK | PTRACE_O_TRACEEXEC |
                                   PTRACE_O_EXITKILL | PTRACE_O_TRACESECCOMP;

// Returns SECCOMP_RET_TRACE for the traced numbers of this machine's own
// call convention and lets everything else run without a stop.
std::vector<sock_filter> SeccompProgram() {
    const std::span<const SyscallRule> rules = SyscallRules();
    const auto n = static_cast<uint8_t>(rules.size());
    std::vector<sock_filter> p;
    p.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
    p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0));
    p.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    p.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    for (uint8_t i = 0; i < n; ++i) {
        const auto jumpToTrace = static_cast<uint8_t>(n - i);
        p.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(rules[i].number),
                             jumpToTrace, 0));
    }
    p.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    p.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRACE));
    return p;
}

}  // namespace

namespace {

// The file execvp would run for `name`: on PATH when it has no slash, the
// first that can be run, else the first that exists; empty when none does.
std::string LocateProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        std::string file;
        if (access(name.c_str(), F_OK) == 0) file = name;
        return file;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
    const char* path = std::getenv("PATH");
    const std::string all = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::string existing;
    size_t start = 0;
    while (start <= all.size()) {
        size_t colon = all.find(':', start);
        if (colon == std::string::npos) colon = all.size();
        std::string file = all.substr(start, colon - start);
        if (file.empty()) file = ".";
        file += '/';
        file += name;
        struct stat st {};
        if (stat(file.c_str(), &st) == 0) {
            if (S_ISREG(st.st_mode) && access(file.c_str(), X_OK) == 0) return file;
            if (existing.empty()) existing = file;
        }
        start = colon + 1;
    }
    return existing;
}

// The interpreter a "#!" line names, or empty when the file has none.
std::string Interpreter(const std::string& file) {
    FILE* f = std::fopen(file.c_str(), "re");
    if (!f) return {};
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, f) != nullptr;
    std::fclose(f);
    if (!read || line[0] != '#' || line[1] != '!') return {};
    const char* p = line + 2;
    while (*p == ' ' || *p == '\t') ++p;
    const char* end = p;
    while (*end && *end != ' ' && *end != '\t' && *end != '\n' && *end != '\r') ++end;
    return std::string(p, end);
}

}  // namespace

bool FindTraceProgram(const std::string& name) {
    return TraceProgramProblem(name).empty();
}

std::string TraceProgramProblem(const std::string& name) {
    const std::string file = LocateProgram(name);
    if (name.empty() || file.empty()) return "no such command: " + name;
    const std::string cannot = "cannot run " + name + ": ";
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return "no such command: " + name;
    if (S_ISDIR(st.st_mode)) return cannot + "is a directory";
    if (!S_ISREG(st.st_mode) || access(file.c_str(), X_OK) != 0)
        return cannot + "permission denied";
    if (st.st_size == 0) return cannot + "empty file";
    const std::string interpreter = Interpreter(file);
    if (!interpreter.empty()) {
        struct stat is {};
        if (interpreter.front() != '/' || stat(interpreter.c_str(), &is) != 0 ||
            !S_ISREG(is.st_mode) || access(interpreter.c_str(), X_OK) != 0)
            return cannot + "bad interpreter " + interpreter;
    }
    return {};
}

std::string TracePidProblem(pid_t pid) {
    if (pid == getpid()) {
        char self[PATH_MAX] = {};
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        const std::string name = n > 0 ? std::string(self, static_cast<size_t>(n)) : "";
        const size_t slash = name.rfind('/');
        return "cannot trace " +
               (name.empty() ? std::string("this program")
                             : name.substr(slash == std::string::npos ? 0 : slash + 1)) +
               " itself";
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* f = std::fopen(path, "re");
    if (!f) return "no such process: " + std::to_string(pid);
    char text[512] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    // "pid (comm) S ...": the state follows the last ')'.
    const char* close = std::strrchr(text, ')');
    if (n > 0 && close && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X'))
        return "process " + std::to_string(pid) + " has exited";
    return {};
}

namespace {

// In the forked child: only async-signal-safe calls from here to exec. The
// child stops itself; the tracer seizes it while it is stopped, so that its
// later job-control stops are told apart from signals and kept.
[[noreturn]] void BecomeTracee(char* const* argv, const sock_fprog* program) {
    // Without the privilege to filter, no_new_privs is the price of the
    // filter (setuid programs then run without their privileges).
    if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, program) != 0) {
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, program) != 0)
            _exit(kChildNoSeccomp);
    }
    raise(SIGSTOP);  // the tracer seizes it here
    execvp(argv[0], argv);
    _exit(kChildNoExec);
}

pid_t ThreadGroupOf(pid_t tid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", tid);
    FILE* f = std::fopen(path, "re");
    if (!f) return tid;
    char line[256];
    pid_t tgid = tid;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "Tgid: %d", &tgid) == 1) break;
    std::fclose(f);
    return tgid;
}

}  // namespace

CProcessTracer::CProcessTracer(ITraceSink& sink, std::unordered_set<uint32_t> known)
    : m_sink(sink), m_known(std::move(known)) {}

CProcessTracer::~CProcessTracer() = default;

TraceExit CProcessTracer::Exit() const {
    std::lock_guard lock(m_mutex);
    return m_exit;
}

void CProcessTracer::Kill() {
    std::lock_guard lock(m_mutex);
    m_killing = true;
    for (pid_t tid : m_live) kill(tid, SIGKILL);
}

bool CProcessTracer::Launch(const std::vector<std::string>& argv, std::string& error) {
    if (argv.empty()) {
        error = "no command to trace";
        return false;
    }
    if (error = TraceProgramProblem(argv[0]); !error.empty()) return false;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<sock_filter> filter = SeccompProgram();
    const sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};

    const pid_t pid = fork();
    if (pid < 0) {
        error = std::string("fork failed: ") + std::generic_category().message(errno);
        return false;
    }
    if (pid == 0) BecomeTracee(args.data(), &program);

    if (!SeizeStoppedChild(pid, error)) return false;
    m_root = pid;
    ThreadState& root = Thread(pid);
    root.attached = true;
    {
        std::lock_guard lock(m_mutex);
        m_live.insert(pid);
    }
    // The stop it gave itself ends as a SIGCONT would end it.
    kill(pid, SIGCONT);
    Continue(pid, false);
    return true;
}

bool CProcessTracer::SeizeStoppedChild(pid_t pid, std::string& error) {
    int status = 0;
    if (waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) {
        if (WIFEXITED(status) && WEXITSTATUS(status) == kChildNoSeccomp)
            error = "tracing is not permitted here (seccomp filter refused)";
        else
            error = "the command stopped before it started";
        return false;
    }
    // Seized while stopped, it reports that stop to the tracer at once.
    if (ptrace(PTRACE_SEIZE, pid, nullptr, PtraceData(kTraceOptions)) != 0) {
        error = std::string("tracing is not permitted here (") +
                std::generic_category().message(errno) + ")";
        kill(pid, SIGKILL);
        waitpid(pid, &status, __WALL);
        return false;
    }
    if (waitpid(pid, &status, __WALL) != pid || !WIFSTOPPED(status)) {
        error = "the command stopped before it started";
        return false;
    }
    return true;
}

namespace {

constexpr uint64_t kAttachOptions = PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE |
                                    PTRACE_O_TRACEFORK | PTRACE_O_TRACEVFORK | PTRACE_O_TRACEEXEC;

// Interrupts the tracer thread's wait (no SA_RESTART), so that it sees a
// detach request; the handler does nothing else.
int WakeSignal() {
    return SIGRTMIN + 6;
}
extern "C" void OnWakeSignal(int) {}

void InstallWakeHandler() {
    struct sigaction action {};
    action.sa_handler = OnWakeSignal;
    sigemptyset(&action.sa_mask);
    sigaction(WakeSignal(), &action, nullptr);
}

std::vector<pid_t> ThreadsOf(pid_t pid) {
    std::vector<pid_t> tids;
    const std::string folder = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(folder.c_str())) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe): each directory stream is this thread's own
        while (const dirent* e = readdir(dir))
            if (e->d_name[0] != '.') tids.push_back(static_cast<pid_t>(std::atoi(e->d_name)));
        closedir(dir);
    }
    return tids;
}

}  // namespace

bool CProcessTracer::Attach(const std::vector<pid_t>& pids, std::string& error) {
    InstallWakeHandler();
    m_wakeable = true;
    m_perCall = true;
    for (pid_t pid : pids) {
        if (ThreadsOf(pid).empty()) error = "no such process: " + std::to_string(pid);
        // A thread not yet attached may start another while the list is
        // read: read it again until a pass finds no new thread.
        for (bool more = true; more && error.empty();) {
            more = false;
            for (pid_t tid : ThreadsOf(pid)) {
                if (m_threads.count(tid)) continue;
                if (ptrace(PTRACE_SEIZE, tid, nullptr, PtraceData(kAttachOptions)) != 0) {
                    if (errno == ESRCH) continue;  // a thread that just ended
                    error = "tracing is not permitted here (attaching to " + std::to_string(pid) +
                            ": " + std::generic_category().message(errno) + ")";
                    break;
                }
                Thread(tid);  // its first stop is the interrupt's
                ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr);
                more = true;
            }
        }
        if (!error.empty()) break;
    }
    if (error.empty()) return true;
    // Let go of those already attached: each detaches at its first stop.
    m_detaching = true;
    while (!m_threads.empty()) {
        int status = 0;
        const pid_t tid = waitpid(-1, &status, __WALL | __WNOTHREAD);
        if (tid < 0 && errno == EINTR) continue;
        if (tid < 0) break;
        if (WIFSTOPPED(status))
            OnStop(tid, status);
        else
            Forget(tid);
    }
    return false;
}

void CProcessTracer::Detach() {
    m_detachWanted = true;
    Wake();
}

void CProcessTracer::Wake() {
    if (m_wakeable && m_running) pthread_kill(m_tracerThread, WakeSignal());
}

void CProcessTracer::BeginDetach() {
    m_detaching = true;
    for (const auto& [tid, thread] : m_threads) ptrace(PTRACE_INTERRUPT, tid, nullptr, nullptr);
}

void CProcessTracer::Run() {
    m_tracerThread = pthread_self();
    m_running = true;
    while (!m_threads.empty()) {
        if (m_detachWanted && !m_detaching) BeginDetach();
        int status = 0;
        // __WNOTHREAD: only this thread's tracees, never a child another
        // thread of the program started.
        const pid_t tid = waitpid(-1, &status, __WALL | __WNOTHREAD);
        if (tid < 0) {
            if (errno == EINTR) continue;  // Wake
            break;                         // ECHILD: nothing left to follow
        }
        if (WIFEXITED(status) || WIFSIGNALED(status))
            OnGone(tid, status);
        else if (WIFSTOPPED(status))
            OnStop(tid, status);
    }
    std::lock_guard lock(m_mutex);
    m_live.clear();
    m_exit.finished = true;
    m_running = false;
}

CProcessTracer::ThreadState& CProcessTracer::Thread(pid_t tid) {
    auto& slot = m_threads[tid];
    if (!slot) {
        slot = std::make_unique<ThreadState>();
        slot->tgid = tid == m_root ? tid : ThreadGroupOf(tid);
        ++m_processes[slot->tgid].threads;
        std::lock_guard lock(m_mutex);
        m_live.insert(tid);
        // A child forked while Kill ran would otherwise outlive it.
        if (m_killing) kill(tid, SIGKILL);
    }
    return *slot;
}

void CProcessTracer::Forget(pid_t tid) {
    auto it = m_threads.find(tid);
    if (it == m_threads.end()) return;
    const pid_t tgid = it->second->tgid;
    m_threads.erase(it);
    if (auto p = m_processes.find(tgid); p != m_processes.end() && --p->second.threads <= 0)
        m_processes.erase(p);
    std::lock_guard lock(m_mutex);
    m_live.erase(tid);
}

void CProcessTracer::OnGone(pid_t tid, int status) {
    // A tracee killed in the middle of a call simply ends its pending call:
    // there is no exit stop to wait for.
    Forget(tid);
    if (tid != m_root) return;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    {
        std::lock_guard lock(m_mutex);
        m_exit.status = code;
    }
    m_sink.CommandEnded(code);
}

void CProcessTracer::OnStop(pid_t tid, int status) {
    ThreadState& thread = Thread(tid);
    const int signal = WSTOPSIG(status);
    const int event = status >> 16;
    const bool signalStop = event == 0 && signal != (SIGTRAP | 0x80);
    if (m_detaching) {
        // Any stop will do to let a tracee go; a signal it was about to
        // get is handed on.
        ptrace(PTRACE_DETACH, tid, nullptr, PtraceData(signalStop ? signal : 0));
        Forget(tid);
        return;
    }
    if (signal == (SIGTRAP | 0x80)) {
        OnSyscallStop(tid, thread, false);
        return;
    }
    if (event == PTRACE_EVENT_STOP) {
        const bool groupStop =
            signal == SIGSTOP || signal == SIGTSTP || signal == SIGTTIN || signal == SIGTTOU;
        // A stopped program stays stopped (until SIGCONT), whether it was
        // stopped before it was attached or while traced.
        if (groupStop)
            ptrace(PTRACE_LISTEN, tid, nullptr, nullptr);
        else
            Continue(tid, false);  // attached now, or woken up
        thread.attached = true;
        return;
    }
    if (signal == SIGTRAP && event == PTRACE_EVENT_SECCOMP) {
        // The most frequent stop by far; its event message (the filter's
        // data word) is not needed, so it costs no request of its own.
        OnSyscallStop(tid, thread, true);
        return;
    }
    if (signal == SIGTRAP && event != 0) {
        unsigned long message = 0;
        ptrace(PTRACE_GETEVENTMSG, tid, nullptr, &message);
        switch (event) {
            case PTRACE_EVENT_FORK:
            case PTRACE_EVENT_VFORK:
            case PTRACE_EVENT_CLONE:
                OnNewTask(tid, static_cast<pid_t>(message), event == PTRACE_EVENT_CLONE);
                break;
            case PTRACE_EVENT_EXEC:
                if (static_cast<pid_t>(message) != tid) Forget(static_cast<pid_t>(message));
                OnExec(tid);
                break;
            default:
                break;
        }
        Continue(tid, false);
        return;
    }
    if (!thread.attached && signal == SIGSTOP) {
        // The stop every new child of a tracee starts with: not the
        // program's own signal.
        thread.attached = true;
        Continue(tid, false);
        return;
    }
    thread.attached = true;
    Continue(tid, false, signal);  // the program's own signal, delivered as sent
}

void CProcessTracer::OnSyscallStop(pid_t tid, ThreadState& thread, bool seccomp) {
    __ptrace_syscall_info info{};
    const bool known = ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0;
    if (known && info.op == PTRACE_SYSCALL_INFO_SECCOMP)
        OnSyscallEntry(tid, thread, static_cast<long>(info.seccomp.nr), info.seccomp.args);
    else if (known && info.op == PTRACE_SYSCALL_INFO_ENTRY)
        OnSyscallEntry(tid, thread, static_cast<long>(info.entry.nr), info.entry.args);
    else if (known && info.op == PTRACE_SYSCALL_INFO_EXIT)
        OnSyscallExit(tid, thread, true, info.exit.rval, info.exit.is_error != 0);
    else
        OnSyscallExit(tid, thread, false, 0, false);
}

void CProcessTracer::Continue(pid_t tid, bool toExit, int signal) {
    ptrace(toExit || m_perCall ? PTRACE_SYSCALL : PTRACE_CONT, tid, nullptr, PtraceData(signal));
}

void CProcessTracer::OnNewTask(pid_t parent, pid_t child, bool sameFiles) {
    const bool seen = m_threads.count(child) != 0;
    ThreadState& thread = Thread(child);
    if (seen || thread.tgid == m_threads[parent]->tgid) return;
    // A new process starts with a copy of its parent's descriptors; once it
    // has run on its own (its stop came first) its own view stands.
    auto from = m_processes.find(m_threads[parent]->tgid);
    if (!sameFiles && from != m_processes.end()) m_processes[thread.tgid].fds = from->second.fds;
}

void CProcessTracer::OnExec(pid_t tid) {
    // Close-on-exec descriptors are gone; the rest are looked up again.
    if (auto p = m_processes.find(m_threads[tid]->tgid); p != m_processes.end())
        p->second.fds.clear();
}

TraceFd CProcessTracer::Classify(const char* procPath) const {
    struct stat st {};
    if (stat(procPath, &st) != 0) return {0, false};
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
        const bool block = S_ISBLK(st.st_mode);
        const uint32_t object = TraceDeviceObject(block, major(st.st_rdev), minor(st.st_rdev));
        return {m_known.count(object) ? object : kTraceOtherNodesObject, block};
    }
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return {kTracePipesObject, false};
    return {kTraceFilesObject, S_ISREG(st.st_mode)};
}

bool CProcessTracer::Resolve(pid_t tid, Process& process, int fd, TraceFd& out) {
    if (auto it = process.fds.find(fd); it != process.fds.end()) {
        out = it->second;
        return true;
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/fd/%d", tid, fd);
    out = Classify(path);
    if (out.deviceObject == 0) return false;  // not an open descriptor
    process.fds[fd] = out;
    return true;
}

uint64_t CProcessTracer::FilePosition(pid_t tid, int fd) const {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/fdinfo/%d", tid, fd);
    FILE* f = std::fopen(path, "re");
    if (!f) return 0;
    unsigned long long pos = 0;
    if (std::fscanf(f, "pos: %llu", &pos) != 1) pos = 0;
    std::fclose(f);
    return pos;
}

}  // namespace vantrel
