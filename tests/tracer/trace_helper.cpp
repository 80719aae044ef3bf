// The program the tracer tests trace: device I/O of known sizes, offsets
// and outcomes. Built without sanitizers (their runtimes do not run under
// ptrace everywhere). Exit code 0 when every call went as planned.

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// The helper is one thread: its counters and buffer need no guard.
int g_failures = 0;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "trace_helper: %s failed\n", what);
        ++g_failures;
    }
}

char g_buffer[8192];  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// /dev/null, /dev/zero, a missing path, a duplicate and a child.
void Devices() {
    const int null = open("/dev/null", O_WRONLY);
    Check(null >= 0, "open /dev/null");
    Check(write(null, g_buffer, 100) == 100, "write 100");
    Check(write(null, g_buffer, 4096) == 4096, "write 4096");
    const int zero = open("/dev/zero", O_RDONLY);
    Check(read(zero, g_buffer, 512) == 512, "read 512");
    Check(pread(zero, g_buffer, 64, 4096) == 64, "pread 64 at 4096");
    Check(open("/nonexistent-vantrel/missing", O_RDONLY) < 0, "open missing");
    // The duplicate leads to /dev/zero, though it was never opened by name.
    Check(dup2(zero, 10) == 10, "dup2");
    Check(read(10, g_buffer, 7) == 7, "read 7 on the duplicate");
    close(10);
    Check(read(10, g_buffer, 9) < 0, "read on a closed descriptor");
    const pid_t child = fork();
    if (child == 0) _exit(read(zero, g_buffer, 33) == 33 ? 0 : 1);
    int status = 0;
    waitpid(child, &status, 0);
    Check(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child's read 33");
    close(zero);
    close(null);
}

// A regular file written at an offset and flushed.
void File(const char* path) {
    const int fd = open(path, O_RDWR | O_CREAT | O_TRUNC, 0640);
    Check(fd >= 0, "open the file");
    Check(write(fd, g_buffer, 300) == 300, "write 300");
    Check(write(fd, g_buffer, 20) == 20, "write 20 at 300");
    Check(fsync(fd) == 0, "fsync");
    close(fd);
    unlink(path);
}

// A pty pair's window size, and the bytes waiting in a pipe.
void TtyAndPipe() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    Check(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0, "open a pty");
    char name[64] = {};
    const int slave =
        ptsname_r(master, name, sizeof name) == 0 ? open(name, O_RDWR | O_NOCTTY) : -1;
    Check(slave >= 0, "open the pty's slave");
    winsize set{};
    set.ws_row = 31;
    set.ws_col = 97;
    Check(ioctl(master, TIOCSWINSZ, &set) == 0, "TIOCSWINSZ");
    winsize got{};
    Check(ioctl(slave, TIOCGWINSZ, &got) == 0 && got.ws_col == 97, "TIOCGWINSZ");
    close(slave);
    close(master);
    int ends[2];
    Check(pipe(ends) == 0, "pipe");
    Check(write(ends[1], "hello", 5) == 5, "write 5 into the pipe");
    int waiting = 0;
    Check(ioctl(ends[0], FIONREAD, &waiting) == 0 && waiting == 5, "FIONREAD");
    close(ends[0]);
    close(ends[1]);
}

// Two threads read 11 and 13 bytes from /dev/zero through one descriptor.
void Threads() {
    const int zero = open("/dev/zero", O_RDONLY);
    Check(zero >= 0, "open /dev/zero");
    auto reader = [zero](size_t n) {
        char local[16];
        Check(read(zero, local, n) == static_cast<ssize_t>(n), "a thread's read");
    };
    std::thread a(reader, 11), b(reader, 13);
    a.join();
    b.join();
    close(zero);
}

// Keeps /dev/zero open across exec and lets /dev/null (on number 50) go
// with it: after exec the new image makes a pipe (calls the tracer does not
// see), whose read end takes number 50.
constexpr int kClosedOnExec = 50;

[[noreturn]] void Exec(const char* self) {
    const int zero = open("/dev/zero", O_RDONLY);
    const int null = open("/dev/null", O_WRONLY);
    Check(zero >= 0 && null >= 0, "open before exec");
    Check(dup3(null, kClosedOnExec, O_CLOEXEC) == kClosedOnExec, "dup3 with O_CLOEXEC");
    close(null);
    const std::string zeroText = std::to_string(zero), nullText = std::to_string(kClosedOnExec);
    execl(self, self, "after-exec", zeroText.c_str(), nullText.c_str(),
          static_cast<char*>(nullptr));
    _exit(6);
}

int AfterExec(int kept, int closedNumber) {
    Check(read(kept, g_buffer, 17) == 17, "read 17 on the kept descriptor");
    // Fill the numbers below it (a descriptor is always the lowest free one).
    for (int fd = eventfd(0, 0); fd >= 0 && fd < closedNumber - 1; fd = eventfd(0, 0)) {
    }
    int ends[2];
    Check(pipe(ends) == 0 && ends[0] == closedNumber, "the closed number is reused");
    Check(write(ends[1], g_buffer, 19) == 19, "write 19 into the pipe");
    Check(read(ends[0], g_buffer, 19) == 19, "read 19 on the reused number");
    return g_failures == 0 ? 0 : 1;
}

// Reads 5 bytes from /dev/zero every 5 ms for about 20 s.
int Loop() {
    const int zero = open("/dev/zero", O_RDONLY);
    for (int i = 0; i < 4000; ++i) {
        if (read(zero, g_buffer, 5) != 5) return 1;
        usleep(5000);
    }
    return 0;
}

// Blocks for good in a read on a pipe that has a writer (this process).
[[noreturn]] void Block() {
    int ends[2];
    if (pipe(ends) != 0) _exit(3);
    const ssize_t n = read(ends[0], g_buffer, 1);
    _exit(n < 0 ? 4 : 5);
}

}  // namespace

int main(int argc, char** argv) {
    std::memset(g_buffer, 0x5A, sizeof g_buffer);
    const char* what = argc > 1 ? argv[1] : "";
    if (std::strcmp(what, "devices") == 0) {
        Devices();
    } else if (std::strcmp(what, "file") == 0 && argc > 2) {
        File(argv[2]);
    } else if (std::strcmp(what, "tty") == 0) {
        TtyAndPipe();
    } else if (std::strcmp(what, "threads") == 0) {
        Threads();
    } else if (std::strcmp(what, "exec") == 0) {
        Exec(argv[0]);
    } else if (std::strcmp(what, "after-exec") == 0 && argc > 3) {
        return AfterExec(std::atoi(argv[2]), std::atoi(argv[3]));
    } else if (std::strcmp(what, "loop") == 0) {
        return Loop();
    } else if (std::strcmp(what, "block") == 0) {
        Block();
    } else if (std::strcmp(what, "exit") == 0 && argc > 2) {
        return std::atoi(argv[2]);
    } else {
        std::fprintf(stderr,
                     "usage: trace_helper devices|file PATH|tty|threads|exec|loop|block|exit N\n");
        return 2;
    }
    return g_failures == 0 ? 0 : 1;
}
