// vantrel: the desktop program, on the driver `--driver WORD` (or
// VANTREL_DRIVER) chooses: the simulated one by default (VANTREL_SIM_*
// variables choose its rate, seed and devices; on Windows the default is
// the real driver, `device`), `none` for a machine
// without the driver, `replay:FILE.vtl` for a saved test played again, or
// the trace driver with `vantrel --trace -- CMD ARGS...` (the short form of
// `--driver trace`): the command starts when the first filter is added, and
// ends if Vantrel ends first; `vantrel --trace-pid PID[,PID...]` attaches to
// running processes instead. `vantrel --kernel` (the short form of
// `--driver kernel`) watches devices from the kernel for every process,
// narrowed with --pid PID[,PID...] and --comm NAME, its pending block
// requests expiring after --kernel-expiry S; `--connect HOST:PORT --ca CA.pem
// --token-file FILE` watches a source another machine serves.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "document/document.h"
#include "document/settings.h"
#include "driver/replay_driver.h"
#include "driver/simulated_driver.h"
#include "endpoint/source_choice.h"
#include "gui/main_frame.h"
#include "gui/vantrel_app.h"
#include "remote_start.h"
#include "tracer/process_tracer.h"
#include "tracer/trace_driver.h"
#ifdef VANTREL_KERNEL_SOURCE
#include "kernel/kernel_driver.h"
#endif
#include "winlink/win32_device.h"

namespace {

// The words of the command line split into the program's own and the
// traced command's (after `--`), which Qt must never see: its options
// would be taken for Qt's.
struct SplitArguments {
    std::vector<char*> own;
    std::vector<std::string> command;
    std::vector<pid_t> pids;  // --trace-pid PID[,PID...]
    bool badPids = false;
    vantrel::SourceChoice source;
    std::string problem;            // a usage problem, said before anything starts
    std::vector<pid_t> kernelPids;  // --pid
    std::string comm;               // --comm
    double expiry = 30;             // --kernel-expiry
    unsigned long ringMiB = 8;      // --kernel-ring
    bool kernelOptions = false;
    vantrel::RemoteStart remote;
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
    std::string given;  // --driver or --trace
    bool attach = false;
    int i = 0;
    for (; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--") == 0) break;
        const bool driver = i > 0 && std::strcmp(argv[i], "--driver") == 0;
        const bool kernel = i > 0 && std::strcmp(argv[i], "--kernel") == 0;
        if (driver || kernel || (i > 0 && std::strcmp(argv[i], "--trace") == 0)) {
            if (!given.empty() && split.problem.empty())
                split.problem = given == argv[i] ? given + " given twice"
                                                 : "--trace and --kernel are short forms of "
                                                   "--driver: give one of them";
            given = argv[i];
            split.source = {kernel ? vantrel::SourceKind::Kernel : vantrel::SourceKind::Trace, {}};
            if (!driver) continue;
            const auto choice = i + 1 < argc ? vantrel::ParseSourceChoice(argv[++i]) : std::nullopt;
            if (choice)
                split.source = *choice;
            else if (split.problem.empty())
                split.problem = std::string("--driver takes ") + vantrel::kSourceChoiceWords;
        } else if (i > 0 && std::strcmp(argv[i], "--pid") == 0) {
            split.kernelOptions = true;
            if (i + 1 == argc || !ParsePids(argv[++i], split.kernelPids))
                split.problem = "usage: vantrel --kernel --pid PID[,PID...]";
        } else if (i > 0 && std::strcmp(argv[i], "--comm") == 0) {
            split.kernelOptions = true;
            if (i + 1 < argc) split.comm = argv[++i];
            if (split.comm.empty() || split.comm.size() > 15)
                split.problem = "usage: vantrel --kernel --comm NAME (1 to 15 characters)";
        } else if (i > 0 && std::strcmp(argv[i], "--kernel-expiry") == 0) {
            split.kernelOptions = true;
            char* end = nullptr;
            split.expiry = i + 1 < argc ? std::strtod(argv[++i], &end) : 0;
            if (!end || *end != '\0' || !(split.expiry > 0 && split.expiry <= 86400))
                split.problem = "usage: vantrel --kernel --kernel-expiry S (0 < S <= 86400)";
        } else if (i > 0 && std::strcmp(argv[i], "--kernel-ring") == 0) {
            split.kernelOptions = true;
            char* end = nullptr;
            split.ringMiB = i + 1 < argc ? std::strtoul(argv[++i], &end, 10) : 0;
            if (!end || *end != '\0' || split.ringMiB == 0 || split.ringMiB > 1024 ||
                (split.ringMiB & (split.ringMiB - 1)) != 0)
                split.problem =
                    "usage: vantrel --kernel --kernel-ring MIB (a power of two to 1024)";
        } else if (i > 0 && i + 1 < argc &&
                   (std::strcmp(argv[i], "--connect") == 0 || std::strcmp(argv[i], "--ca") == 0 ||
                    std::strcmp(argv[i], "--token-file") == 0)) {
            const std::string option = argv[i++];
            if (option == "--connect") {
                given = option;
                split.source = {vantrel::SourceKind::Remote, argv[i]};
            } else {
                (option == "--ca" ? split.remote.ca : split.remote.tokenFile) = argv[i];
            }
        } else if (i > 0 && std::strcmp(argv[i], "--trace-pid") == 0) {
            attach = true;
            split.badPids = i + 1 == argc || !ParsePids(argv[++i], split.pids);
        } else {
            split.own.push_back(argv[i]);
        }
    }
    if (attach) {
        if (!given.empty() && split.source.kind != vantrel::SourceKind::Trace)
            split.problem = "--trace-pid needs the trace driver";
        split.source = {vantrel::SourceKind::Trace, {}};
    } else if (given.empty()) {
        if (const auto fromEnvironment = vantrel::SourceChoiceFromEnvironment(split.problem))
            split.source = *fromEnvironment;
    }
    if (split.kernelOptions && split.source.kind != vantrel::SourceKind::Kernel &&
        split.problem.empty())
        split.problem = "--pid, --comm, --kernel-expiry and --kernel-ring need --kernel";
    for (++i; i < argc; ++i) split.command.emplace_back(argv[i]);
    split.own.push_back(nullptr);
    return split;
}

// The session of the chosen driver; it outlives the program's windows.
struct Sessions {
    std::unique_ptr<vantrel::CSimulatedDriverSession> sim;
    std::unique_ptr<vantrel::CTraceDriverSession> trace;
    std::unique_ptr<vantrel::CReplayDriverSession> replay;
#ifdef VANTREL_KERNEL_SOURCE
    std::unique_ptr<vantrel::CKernelDriverSession> kernel;
#endif

    // The opener for the document; null after a message on stderr.
    vantrel::DriverOpener Open(const SplitArguments& split) {
        std::string problem;
        switch (split.source.kind) {
            case vantrel::SourceKind::Trace:
                trace = std::make_unique<vantrel::CTraceDriverSession>(
                    vantrel::TraceDriverOptions{split.command, split.pids, {}});
                return trace->Opener();
            case vantrel::SourceKind::Kernel: {
#ifdef VANTREL_KERNEL_SOURCE
                vantrel::KernelDriverOptions options;
                options.capture.pids = split.kernelPids;
                options.capture.comm = split.comm;
                options.capture.expirySeconds = split.expiry;
                options.capture.ringBytes = static_cast<uint32_t>(split.ringMiB << 20);
                kernel = std::make_unique<vantrel::CKernelDriverSession>(options);
                return kernel->Opener();
#else
                problem = "the kernel source is not in this build";
                break;
#endif
            }
            case vantrel::SourceKind::Replay:
                replay = vantrel::CReplayDriverSession::Load({split.source.file, {}}, problem);
                if (replay) return replay->Opener();
                break;
            case vantrel::SourceKind::Remote:
                return {};  // connected once the application exists
            case vantrel::SourceKind::Device:
                return vantrel::Win32DriverOpener();
            case vantrel::SourceKind::Simulated:
            case vantrel::SourceKind::None: {
                vantrel::SimulatedDriverOptions options = vantrel::OptionsFromEnvironment(&problem);
                options.absent = split.source.kind == vantrel::SourceKind::None;
                if (problem.empty() || options.absent) {
                    sim = std::make_unique<vantrel::CSimulatedDriverSession>(std::move(options));
                    return sim->Opener();
                }
                break;
            }
        }
        std::fprintf(stderr, "vantrel: %s\n", problem.c_str());
        return {};
    }
};
// SIGTERM and SIGHUP reach the GUI thread through a pipe: the handler only
// writes a byte, the GUI thread reads it and ends the program as File >
// Exit does. The handler can only find the pipe through a static.
int g_endPipe[2] = {-1, -1};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

extern "C" void OnEndSignal(int) {
    const char byte = 1;
    const int saved = errno;
    (void)!write(g_endPipe[1], &byte, 1);
    errno = saved;
}

// A capture not yet saved is kept before the frame closes. `ending` is set
// once a signal came: one during start-up (a dialog of InitInstance) ends
// the program as soon as InitInstance returns.
void EndOnSignals(vantrel::CVantrelApp& app, QObject& owner, bool& ending) {
    if (pipe2(g_endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(g_endPipe[0], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [&app, &ending, notifier] {
        notifier->setEnabled(false);
        ending = true;
        vantrel::CMainFrame* frame = app.MainFrame();
        if (frame && frame->Document()) {
            std::string error;
            const std::string kept = frame->Document()->KeepUnsavedCapture(error);
            if (!kept.empty())
                std::fprintf(stderr, "vantrel: the unsaved capture was kept in %s\n", kept.c_str());
            else if (!error.empty())
                std::fprintf(stderr, "vantrel: the unsaved capture could not be kept: %s\n",
                             error.c_str());
        }
        if (frame) frame->close();
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    SplitArguments split = Split(argc, argv);
    if (!split.problem.empty()) {
        std::fprintf(stderr, "vantrel: %s\n", split.problem.c_str());
        return 2;
    }
    const bool trace = split.source.kind == vantrel::SourceKind::Trace;
    if (!trace && !split.command.empty()) {
        std::fprintf(stderr, "vantrel: a command after -- needs --trace\n");
        return 2;
    }
    if (split.badPids || (!split.pids.empty() && !split.command.empty())) {
        std::fprintf(stderr, "vantrel: usage: vantrel --trace-pid PID[,PID...]\n");
        return 2;
    }
    for (pid_t pid : split.pids) {
        if (const std::string problem = vantrel::TracePidProblem(pid); !problem.empty()) {
            std::fprintf(stderr, "vantrel: %s\n", problem.c_str());
            return 2;
        }
    }
    if (trace && split.pids.empty()) {
        const std::string problem = vantrel::TraceCommandProblem(split.command);
        if (!problem.empty()) {
            std::fprintf(stderr, "vantrel: %s (usage: vantrel --trace -- CMD ARGS...)\n",
                         problem.c_str());
            return 2;
        }
    }
    Sessions sessions;
    const bool remote = split.source.kind == vantrel::SourceKind::Remote;
    vantrel::DriverOpener opener = sessions.Open(split);
    if (!opener && !remote) return 2;  // said why
    int ownCount = static_cast<int>(split.own.size()) - 1;
    QApplication app(ownCount, split.own.data());
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
#ifdef VANTREL_KERNEL_SOURCE
    if (split.source.kind == vantrel::SourceKind::Kernel) {
        // Said before any window opens: without the programs there is
        // nothing to watch.
        if (const std::string problem = vantrel::KernelSourceProblem(); !problem.empty()) {
            std::fprintf(stderr, "vantrel: %s\n", problem.c_str());
            QMessageBox::critical(nullptr, QStringLiteral("Vantrel"),
                                  QString::fromStdString(problem));
            return 2;
        }
    }
#endif
    vantrel::CNoticeRelay notices;
    std::unique_ptr<vantrel::remote::CRemoteSession> watched;
    if (remote) {
        split.remote.address = split.source.file;
        watched = vantrel::ConnectDesktop(split.remote, notices);
        if (!watched) return 2;  // said why
        opener = watched->Opener();
    }
    vantrel::CQtSettingsStore settings;
    vantrel::AppServices services;
    services.openDriver = std::move(opener);
    if (watched) services.driverHost = watched->Name();
    if (sessions.sim) {
        services.driverDropped = [sim = sessions.sim.get()] { return sim->Stats().dropped; };
    }
    services.settings = &settings;
    vantrel::CVantrelApp vantrelApp(std::move(services));
    bool ending = false;
    EndOnSignals(vantrelApp, app, ending);
    if (!vantrelApp.InitInstance(QApplication::arguments().mid(1))) return 1;
    if (ending) return 0;
    notices.Attach(vantrelApp.MainFrame()->Document());
    const int rc = QApplication::exec();
    notices.Attach(nullptr);
    return rc;
}
