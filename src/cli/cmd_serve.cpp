// vantrel-cli serve: this machine's capture source for a Vantrel on another
// machine, over TLS; `serve --make-cert DIR` makes what a first try needs.

#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "cli/cli.h"
#include "cli/cli_driver.h"
#include "driver/replay_driver.h"
#include "driver/simulated_driver.h"
#include "remote/certificates.h"
#include "remote/hosted_source.h"
#include "remote/remote_server.h"
#include "remote/secret_files.h"
#include "remote/tls_setup.h"
#include "tracer/trace_driver.h"

namespace vantrel::cli {
namespace {

constexpr char kUsage[] =
    "serve --listen HOST:PORT --cert CERT.pem --key KEY.pem --token-file FILE "
    "[--driver sim|trace|replay:FILE.vtl] [--rate R] [--seed S] [--backlog-mib N] [--log-sent] "
    "[-- CMD ARGS...] | serve --make-cert DIR";

// A signal handler can only reach the program through a static flag.
// NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): see above
std::atomic<int> g_stopSignal{0};
extern "C" void OnServeStopSignal(int number) {
    g_stopSignal.store(number);
}

void Log(const std::string& line) {
    std::fprintf(stderr, "vantrel-cli serve: %s\n", line.c_str());
}

int MakeCert(const std::string& dir) {
    const std::string names[] = {"ca.pem", "server.pem", "server-key.pem", "token"};
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return Fail(kExitBadInput, dir + ": " + ec.message());
    struct stat st {};
    for (const std::string& name : names) {
        const std::string path = (std::filesystem::path(dir) / name).string();
        if (::lstat(path.c_str(), &st) == 0)
            return Fail(kExitBadInput, path + " exists already; nothing was written");
    }
    remote::CertificateRequest request;
    request.dnsNames = remote::MachineHostNames();
    remote::CertificateFiles files;
    std::string error;
    if (!remote::MakeCertificateFiles(request, files, error)) return Fail(kExitBadInput, error);
    const std::pair<const std::string*, unsigned> contents[] = {{&files.caPem, 0644},
                                                                {&files.serverPem, 0644},
                                                                {&files.serverKeyPem, 0600},
                                                                {&files.token, 0600}};
    for (size_t i = 0; i < 4; ++i) {
        if (!remote::WriteNewFile(dir + "/" + names[i], *contents[i].first, contents[i].second,
                                  error))
            return Fail(kExitBadInput, error);
    }
    const std::string host = request.dnsNames.front();
    std::printf(
        "Made %s/ca.pem, server.pem, server-key.pem and token for %s.\n"
        "On this machine:\n"
        "  vantrel-cli serve --listen 0.0.0.0:7460 --cert %s/server.pem --key "
        "%s/server-key.pem --token-file %s/token\n"
        "On the watching machine, with copies of ca.pem and token:\n"
        "  vantrel-cli capture --connect %s:7460 --ca ca.pem --token-file token --all-devices\n",
        dir.c_str(), host.c_str(), dir.c_str(), dir.c_str(), dir.c_str(), host.c_str());
    return kExitOk;
}

struct ServeArgs {
    std::string listen, cert, key, tokenFile;
    SourceChoice choice;
    SimulatedDriverOptions driver = OptionsFromEnvironment();
    std::optional<double> rate;
    std::vector<std::string> command;  // the trace driver's
    uint64_t backlogBytes = remote::kDefaultBacklogBytes;
    bool logSent = false;
};

int Serve(const ServeArgs& a) {
    remote::ServeOptions options;
    std::string error;
    if (!remote::SplitHostPort(a.listen, options.host, options.port, true))
        return Fail(kExitBadInput, "not HOST:PORT: " + a.listen);
    if (!remote::CheckPrivate(a.key, error) || !remote::CheckPrivate(a.tokenFile, error) ||
        !remote::ReadTokenFile(a.tokenFile, options.token, error))
        return Fail(kExitBadInput, error);
    int argc = 1;
    char name[] = "vantrel-cli";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    if (!remote::UseOpenSslBackend(error) ||
        !remote::ServerTlsConfiguration(a.cert, a.key, options.tls, error))
        return Fail(kExitBadInput, error);
    options.logSent = a.logSent;

    // The chosen source's session outlives the device it opens.
    std::unique_ptr<CSimulatedDriverSession> sim;
    std::unique_ptr<CReplayDriverSession> replay;
    std::unique_ptr<CTraceDriverSession> trace;
    DriverOpener opener;
    if (a.choice.kind == SourceKind::Replay) {
        replay = CReplayDriverSession::Load({a.choice.file, a.rate}, error);
        if (!replay) return Fail(kExitBadInput, error);
        opener = replay->Opener();
    } else if (a.choice.kind == SourceKind::Trace) {
        trace = std::make_unique<CTraceDriverSession>(TraceDriverOptions{a.command, {}, {}});
        opener = trace->Opener();
    } else {
        sim = std::make_unique<CSimulatedDriverSession>(a.driver);
        opener = sim->Opener();
    }
    std::unique_ptr<IDriverDevice> device = opener(protocol::kDevicePath);
    if (!device) return Fail(kExitBadInput, "the capture source could not be opened");
    remote::CHostedSource source(std::move(device), a.backlogBytes);
    remote::CRemoteServer server(options, source, Log);
    if (!server.Start(error)) return Fail(kExitBadInput, error);
    if (!source.Start([&server] { server.RecordsReady(); }, error))
        return Fail(kExitBadInput, error);
    Log("listening on " + a.listen.substr(0, a.listen.rfind(':')) + ":" +
        std::to_string(server.Port()));

    g_stopSignal.store(0);
    auto previousInt = std::signal(SIGINT, OnServeStopSignal);
    auto previousTerm = std::signal(SIGTERM, OnServeStopSignal);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const int stopSignal = g_stopSignal.load();
        if (stopSignal == 0) return;
        watch.stop();
        Log(std::string("stopping on ") + (stopSignal == SIGINT ? "SIGINT" : "SIGTERM"));
        server.Close("the server stops");
        source.Stop();
        // Give the closing frames a moment to leave.
        QTimer::singleShot(200, &app, &QCoreApplication::quit);
    });
    watch.start(50);
    QCoreApplication::exec();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    const uint64_t sourceDropped = sim ? sim->Stats().dropped : 0;
    Log("stopped; records numbered " + std::to_string(source.NextSequence() - 1) +
        ", dropped by the source " + std::to_string(sourceDropped) + ", by the full backlog " +
        std::to_string(source.Dropped()));
    return kExitOk;
}

}  // namespace

int CmdServe(const Args& given) {
    if (!given.empty() && given[0] == "--make-cert") {
        if (given.size() != 2) return Fail(kExitUsage, std::string("usage: ") + kUsage);
        return MakeCert(given[1]);
    }
    ServeArgs a;
    Args args = given;
    DriverOption driver;
    if (const int rc = TakeDriverOption(args, driver, kUsage); rc != kExitOk) return rc;
    a.choice = driver.choice;
    if (a.choice.kind == SourceKind::None || a.choice.kind == SourceKind::Remote)
        return Fail(kExitUsage,
                    std::string("serve hosts sim, trace or replay:FILE; usage: ") + kUsage);
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--") {
            a.command.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
            break;
        }
        const std::string& o = args[i];
        if (o == "--log-sent") {
            a.logSent = true;
            continue;
        }
        if (i + 1 >= args.size())
            return Fail(kExitUsage, "unknown option or missing value " + o + "; usage: " + kUsage);
        const std::string& v = args[++i];
        if (o == "--listen") {
            a.listen = v;
        } else if (o == "--cert") {
            a.cert = v;
        } else if (o == "--key") {
            a.key = v;
        } else if (o == "--token-file") {
            a.tokenFile = v;
        } else if (o == "--rate") {
            const auto r = ParseDouble(v);
            if (!r) return Fail(kExitBadInput, "not a rate: " + v);
            a.driver.rate = *r;
            a.rate = *r;
        } else if (o == "--seed") {
            const auto s = ParseU64(v);
            if (!s) return Fail(kExitBadInput, "not a seed: " + v);
            a.driver.seed = *s;
        } else if (o == "--backlog-mib") {
            const auto m = ParseU64(v);
            if (!m || *m == 0 || *m > (uint64_t{1} << 20))
                return Fail(kExitBadInput, "not a backlog size in MiB: " + v);
            a.backlogBytes = *m << 20;
        } else {
            return Fail(kExitUsage, "unknown option " + o + "; usage: " + kUsage);
        }
    }
    if (a.listen.empty() || a.cert.empty() || a.key.empty() || a.tokenFile.empty())
        return Fail(kExitUsage, std::string("usage: ") + kUsage);
    if ((a.choice.kind == SourceKind::Trace) == a.command.empty())
        return Fail(kExitUsage, std::string("the trace driver, and only it, takes a command after "
                                            "--; usage: ") +
                                    kUsage);
    if (a.choice.kind == SourceKind::Trace) {
        const std::string problem = TraceCommandProblem(a.command);
        if (!problem.empty()) return Fail(kExitBadInput, problem);
    }
    return Serve(a);
}

}  // namespace vantrel::cli
