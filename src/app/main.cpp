// vantrel: the desktop program, on the simulated driver (VANTREL_SIM_*
// variables choose its rate, seed and devices; VANTREL_DRIVER=none stands
// for a machine without the driver), or on the trace driver with
// `vantrel --trace -- CMD ARGS...` (or VANTREL_DRIVER=trace): the command
// starts when the first filter is added, and ends if Vantrel ends first.

#include <QApplication>
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
    bool trace = false;
};

SplitArguments Split(int argc, char** argv) {
    SplitArguments split;
    const char* driver = std::getenv("VANTREL_DRIVER");
    split.trace = driver && std::strcmp(driver, "trace") == 0;
    int i = 0;
    for (; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--") == 0) break;
        if (i > 0 && std::strcmp(argv[i], "--trace") == 0)
            split.trace = true;
        else
            split.own.push_back(argv[i]);
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
    if (split.trace) {
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
            vantrel::TraceDriverOptions{split.command, {}, {}});
        services.openDriver = trace->Opener();
    } else {
        services.openDriver = driver.Opener();
    }
    services.settings = &settings;
    vantrel::CVantrelApp vantrelApp(std::move(services));
    if (!vantrelApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    return QApplication::exec();
}
