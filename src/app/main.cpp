// vantrel: the desktop program, on the simulated driver (VANTREL_SIM_*
// variables choose its rate, seed and devices; VANTREL_DRIVER=none stands
// for a machine without the driver), or on the trace driver with
// `vantrel --trace -- CMD ARGS...` (or VANTREL_DRIVER=trace): the command
// starts when the first filter is added, and ends if Vantrel ends first;
// `vantrel --trace-pid PID[,PID...]` attaches to running processes instead.
// `vantrel --kernel` (or VANTREL_DRIVER=kernel) watches devices from the
// kernel, narrowed with --pid PID[,PID...] and --comm NAME, its pending
// block requests expiring after --kernel-expiry S.

#include <signal.h>

#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/settings.h"
#include "driver/simulated_driver.h"
#include "gui/vantrel_app.h"
#include "tracer/trace_driver.h"
#ifdef VANTREL_KERNEL_SOURCE
#include "kernel/kernel_driver.h"
#endif

namespace {

// The words of the command line split into the program's own and the
// traced command's (after `--`), which Qt must never see: its options
// would be taken for Qt's.
struct SplitArguments {
    std::vector<char*> own;
    std::vector<std::string> command;
    std::vector<pid_t> pids;  // --trace-pid PID[,PID...]
    bool badPids = false;
    bool trace = false;
    bool kernel = false;
    std::vector<pid_t> kernelPids;  // --pid
    std::string comm;               // --comm
    double expiry = 30;             // --kernel-expiry
    bool badKernel = false;
};

// "PID[,PID...]" into `pids`; false when a word is not a process id.
bool ParsePids(const char* text, std::vector<pid_t>& pids) {
    const std::string all = text;
    size_t start = 0;
    while (start <= all.size()) {
        size_t comma = all.find(',', start);
        if (comma == std::string::npos) comma = all.size();
        const std::string word = all.substr(start, comma - start);
        char* end = nullptr;
        const long pid = std::strtol(word.c_str(), &end, 10);
        if (word.empty() || *end != '\0' || pid <= 0 || pid > 0x3FFFFFFF) return false;
        pids.push_back(static_cast<pid_t>(pid));
        start = comma + 1;
    }
    return true;
}

SplitArguments Split(int argc, char** argv) {
    SplitArguments split;
    const char* driver = std::getenv("VANTREL_DRIVER");
    split.trace = driver && std::strcmp(driver, "trace") == 0;
    split.kernel = driver && std::strcmp(driver, "kernel") == 0;
    int i = 0;
    for (; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--") == 0) break;
        if (i > 0 && std::strcmp(argv[i], "--trace") == 0) {
            split.trace = true;
        } else if (i > 0 && std::strcmp(argv[i], "--trace-pid") == 0) {
            split.trace = true;
            split.badPids = i + 1 == argc || !ParsePids(argv[++i], split.pids);
        } else if (i > 0 && std::strcmp(argv[i], "--kernel") == 0) {
            split.kernel = true;
        } else if (i > 0 && std::strcmp(argv[i], "--pid") == 0) {
            split.badKernel |= i + 1 == argc || !ParsePids(argv[++i], split.kernelPids);
        } else if (i > 0 && std::strcmp(argv[i], "--comm") == 0) {
            split.badKernel |= i + 1 == argc || !*argv[++i] || std::strlen(argv[i]) > 15;
            if (i < argc) split.comm = argv[i];
        } else if (i > 0 && std::strcmp(argv[i], "--kernel-expiry") == 0) {
            char* end = nullptr;
            split.expiry = i + 1 < argc ? std::strtod(argv[++i], &end) : 0;
            split.badKernel |= !end || *end != '\0' || !(split.expiry > 0 && split.expiry <= 86400);
        } else {
            split.own.push_back(argv[i]);
        }
    }
    for (++i; i < argc; ++i) split.command.emplace_back(argv[i]);
    split.own.push_back(nullptr);
    return split;
}

}  // namespace

int main(int argc, char** argv) {
    SplitArguments split = Split(argc, argv);
    if (!split.trace && !split.command.empty()) {
        std::fprintf(stderr, "vantrel: a command after -- needs --trace\n");
        return 2;
    }
    if (split.badPids || (!split.pids.empty() && !split.command.empty())) {
        std::fprintf(stderr, "vantrel: usage: vantrel --trace-pid PID[,PID...]\n");
        return 2;
    }
    for (pid_t pid : split.pids) {
        if (kill(pid, 0) != 0 && errno == ESRCH) {
            std::fprintf(stderr, "vantrel: no such process: %d\n", static_cast<int>(pid));
            return 2;
        }
    }
    if (split.trace && split.pids.empty()) {
        const std::string problem = vantrel::TraceCommandProblem(split.command);
        if (!problem.empty()) {
            std::fprintf(stderr, "vantrel: %s (usage: vantrel --trace -- CMD ARGS...)\n",
                         problem.c_str());
            return 2;
        }
    }
    if (split.badKernel || (split.kernel && split.trace) ||
        (!split.kernel && (!split.kernelPids.empty() || !split.comm.empty()))) {
        std::fprintf(stderr,
                     "vantrel: usage: vantrel --kernel [--kernel-expiry S] [--pid PID[,PID...]] "
                     "[--comm NAME]\n");
        return 2;
    }
    int ownCount = static_cast<int>(split.own.size()) - 1;
    QApplication app(ownCount, split.own.data());
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::CSimulatedDriverSession driver(vantrel::OptionsFromEnvironment());
    std::unique_ptr<vantrel::CTraceDriverSession> trace;
#ifdef VANTREL_KERNEL_SOURCE
    std::unique_ptr<vantrel::CKernelDriverSession> kernel;
#endif
    vantrel::CQtSettingsStore settings;
    vantrel::AppServices services;
    if (split.trace) {
        trace = std::make_unique<vantrel::CTraceDriverSession>(
            vantrel::TraceDriverOptions{split.command, split.pids, {}});
        services.openDriver = trace->Opener();
    } else if (split.kernel) {
#ifdef VANTREL_KERNEL_SOURCE
        const std::string problem = vantrel::KernelSourceProblem();
#else
        const std::string problem = "the kernel source is not in this build";
#endif
        if (!problem.empty()) {
            std::fprintf(stderr, "vantrel: %s\n", problem.c_str());
            QMessageBox::critical(nullptr, QStringLiteral("Vantrel"),
                                  QString::fromStdString(problem));
            return 2;
        }
#ifdef VANTREL_KERNEL_SOURCE
        vantrel::KernelDriverOptions options;
        options.capture.pids = split.kernelPids;
        options.capture.comm = split.comm;
        options.capture.expirySeconds = split.expiry;
        kernel = std::make_unique<vantrel::CKernelDriverSession>(options);
        services.openDriver = kernel->Opener();
#endif
    } else {
        services.openDriver = driver.Opener();
    }
    services.settings = &settings;
    vantrel::CVantrelApp vantrelApp(std::move(services));
    if (!vantrelApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    return QApplication::exec();
}
