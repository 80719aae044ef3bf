// The program the tracer tests trace: device I/O of known sizes, offsets
// and outcomes. Built without sanitizers (their runtimes do not run under
// ptrace everywhere). Exit code 0 when every call went as planned.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int g_failures = 0;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "trace_helper: %s failed\n", what);
        ++g_failures;
    }
}

char g_buffer[8192];

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
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
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
    } else if (std::strcmp(what, "block") == 0) {
        Block();
    } else if (std::strcmp(what, "exit") == 0 && argc > 2) {
        return std::atoi(argv[2]);
    } else {
        std::fprintf(stderr, "usage: trace_helper devices|file PATH|tty|block|exit N\n");
        return 2;
    }
    return g_failures == 0 ? 0 : 1;
}
