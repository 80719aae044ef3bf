#pragma once
// CProcessTracer: follows a command it starts, its threads, children and
// exec, with ptrace and a seccomp filter that stops the command only at the
// system calls of the trace tables (or running processes it attaches to,
// stopped at every call), and turns each call on a descriptor of a wanted
// device object into IRP records. The command is only observed:
// its memory and registers are never written.
//
// Thread rules: ptrace serves only the thread that became the tracer, so
// Launch (or Attach) and Run must be called on one thread, which forks the
// command (or attaches) and stays the tracer until Run returns. Kill,
// Detach, Wake and the accessors may come from any thread. The sink is called on the tracer thread
// only, with the tracee stopped; a sink that waits for room in a ring keeps the tracee waiting, so
// no call is lost.

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "record/capture_record.h"
#include "tracer/trace_tables.h"

namespace vantrel {

// Whether the program file `name` names can be run: searched on PATH as
// execvp would when it has no slash.
bool FindTraceProgram(const std::string& name);
// Why `name` cannot be run, or empty when it can: "no such command: NAME",
// or "cannot run NAME: " and "is a directory", "permission denied", "empty
// file" or "bad interpreter INTERP" (a script whose "#!" line names a
// program that cannot be run).
std::string TraceProgramProblem(const std::string& name);
// Why process `pid` cannot be attached, or empty: "no such process: PID",
// "process PID has exited" (a zombie), "cannot trace vantrel-cli itself"
// (with this program's own name).
std::string TracePidProblem(pid_t pid);

class ITraceSink {
public:
    virtual ~ITraceSink() = default;
    // The majors wanted on a device object (bit n: major n); 0 for none.
    virtual uint32_t MaskFor(uint32_t deviceObject) = 0;
    // Takes a finished record; may wait for room.
    virtual void Emit(const IRP_CAPTURE_RECORD& record) = 0;
    // The started command itself has ended (its children may still run):
    // its exit code, or 128 + the signal that ended it.
    virtual void CommandEnded(int status) {}
};

// Where a descriptor leads.
struct TraceFd {
    uint32_t deviceObject = 0;
    bool positional = false;  // a regular file or a block device: reads move a position
};

// How the command ended: exit code, or 128 + the signal that killed it.
struct TraceExit {
    bool finished = false;
    int status = 0;
};

class CProcessTracer {
public:
    // `known`: the device objects the enumeration listed; other nodes are
    // charged to "(other device nodes)".
    CProcessTracer(ITraceSink& sink, std::unordered_set<uint32_t> known);
    ~CProcessTracer();
    CProcessTracer(const CProcessTracer&) = delete;
    CProcessTracer& operator=(const CProcessTracer&) = delete;

    // Starts argv[0] (searched on PATH) with argv, stopped at its first
    // instruction under trace. False with a one-line reason when the
    // command or the trace could not be set up.
    bool Launch(const std::vector<std::string>& argv, std::string& error);
    // Follows the tracees until every one is gone.
    void Run();
    // Ends every tracee (SIGKILL); Run then returns once they are reaped.
    void Kill();

    // Attaches to running processes (every thread of each), which are then
    // stopped at each system call rather than through a filter, and are
    // left running when detached. False with a one-line reason when one
    // cannot be attached (those attached before it are let go again).
    bool Attach(const std::vector<pid_t>& pids, std::string& error);
    // Lets attached processes go (any thread; it does not wait): Run
    // detaches each at its next stop and returns. Call Wake until Run has
    // returned: a tracer waiting for a stop that does not come is woken so.
    void Detach();
    void Wake();
    TraceExit Exit() const;

private:
    // One system call between its entry and exit stops.
    struct Pending {
        const SyscallRule* rule = nullptr;
        uint64_t args[6] = {};
        uint8_t major = 0;    // the IRP it becomes
        bool record = false;  // a wanted device object and major
        TraceFd fd;
        IRP_CAPTURE_RECORD capture;
    };
    struct ThreadState {
        pid_t tgid = 0;
        bool attached = false;  // its first stop has been seen
        bool inCall = false;    // resumed to its exit stop
        Pending pending;
    };
    using FdCache = std::unordered_map<int, TraceFd>;
    struct Process {
        FdCache fds;
        int threads = 0;
    };

    void OnStop(pid_t tid, int status);
    void OnSyscallEntry(pid_t tid, ThreadState& thread, long number, const uint64_t* args);
    void OnSyscallExit(pid_t tid, ThreadState& thread, bool known, int64_t rval, bool failed);
    void OnSyscallStop(pid_t tid, ThreadState& thread, bool seccomp);
    // Resumes a tracee: to its exit stop when `toExit`, else to its next
    // traced call (attached processes stop at every call).
    void Continue(pid_t tid, bool toExit, int signal = 0);
    // Waits for the forked child's own stop and seizes it.
    bool SeizeStoppedChild(pid_t pid, std::string& error);
    void BeginDetach();
    void OnNewTask(pid_t parent, pid_t child, bool sameFiles);
    void OnExec(pid_t tid);
    void OnGone(pid_t tid, int status);
    ThreadState& Thread(pid_t tid);
    bool Resolve(pid_t tid, Process& process, int fd, TraceFd& out);
    TraceFd Classify(const char* procPath) const;
    uint64_t FilePosition(pid_t tid, int fd) const;
    void FinishOpen(pid_t tid, ThreadState& thread, int64_t rval, bool failed);
    void Forget(pid_t tid);

    ITraceSink& m_sink;
    const std::unordered_set<uint32_t> m_known;
    std::unordered_map<pid_t, std::unique_ptr<ThreadState>> m_threads;  // tracer thread only
    std::unordered_map<pid_t, Process> m_processes;                     // by thread group
    pid_t m_root = 0;
    bool m_perCall = false;    // attached: every call stops the tracee
    bool m_detaching = false;  // tracer thread: interrupts sent, detaching at each stop
    std::atomic<bool> m_detachWanted{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_wakeable{false};  // the wake signal has its handler
    pthread_t m_tracerThread{};

    mutable std::mutex m_mutex;  // the three below
    std::set<pid_t> m_live;      // every tracee, for Kill
    bool m_killing = false;      // a tracee seen after Kill is killed on sight
    TraceExit m_exit;
};

}  // namespace vantrel
