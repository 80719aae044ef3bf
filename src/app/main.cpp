// vantrel: the desktop program, on the simulated driver (VANTREL_SIM_*
// variables choose its rate, seed and devices; VANTREL_DRIVER=none stands
// for a machine without the driver), or on the trace driver with
// `vantrel --trace -- CMD ARGS...` (or VANTREL_DRIVER=trace): the command
// starts when the first filter is added, and ends if Vantrel ends first;
// `vantrel --trace-pid PID[,PID...]` attaches to running processes instead.

#include <signal.h>

#include <QApplication>
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
    int i = 0;
    for (; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--") == 0) break;
        if (i > 0 && std::strcmp(argv[i], "--trace") == 0) {
            split.trace = true;
        } else if (i > 0 && std::strcmp(argv[i], "--trace-pid") == 0) {
            split.trace = true;
            split.badPids = i + 1 == argc || !ParsePids(argv[++i], split.pids);
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
    int ownCount = static_cast<int>(split.own.size()) - 1;
    QApplication app(ownCount, split.own.data());
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    vantrel::CSimulatedDriverSession driver(vantrel::OptionsFromEnvironment());
    std::unique_ptr<vantrel::CTraceDriverSession> trace;
    vantrel::CQtSettingsStore settings;
    vantrel::AppServices services;
    if (split.trace) {
        trace = std::make_unique<vantrel::CTraceDriverSession>(
            vantrel::TraceDriverOptions{split.command, split.pids, {}});
        services.openDriver = trace->Opener();
    } else {
        services.openDriver = driver.Opener();
        services.driverDropped = [&driver] { return driver.Stats().dropped; };
    }
    services.settings = &settings;
    vantrel::CVantrelApp vantrelApp(std::move(services));
    if (!vantrelApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    return QApplication::exec();
}
