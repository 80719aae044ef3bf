// A tight loop of TIOCGWINSZ requests on a new pty's slave, for the kernel
// source's lossless-rate figure: prints the requests and the seconds they took.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::atol(argv[1]) : 1000000;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    char name[64];
    if (ptsname_r(master, name, sizeof name) != 0) return 1;
    const int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return 1;
    winsize size{};
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i)
        if (ioctl(slave, TIOCGWINSZ, &size) != 0) return 1;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%ld %.6f\n", count, took.count());
    return 0;
}
