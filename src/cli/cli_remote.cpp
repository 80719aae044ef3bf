#include "cli/cli_remote.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "remote/secret_files.h"
#include "remote/tls_setup.h"

namespace vantrel::cli {

int TakeRemoteOptions(Args& args, SourceChoice& choice, RemoteRequest& request) {
    Args rest;
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        const std::string& a = args[i];
        std::string* target = a == "--connect"      ? &request.connect
                              : a == "--ca"         ? &request.ca
                              : a == "--token-file" ? &request.tokenFile
                                                    : nullptr;
        if (!target && a != "--reconnect-limit") {
            rest.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) return Fail(kExitUsage, a + " needs a value");
        const std::string& v = args[++i];
        if (target) {
            *target = v;
            continue;
        }
        const auto s = ParseDouble(v);
        if (!s || !(*s >= 0)) return Fail(kExitBadInput, "not a time: " + v);
        request.reconnectSeconds = *s;
    }
    rest.insert(rest.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    args = std::move(rest);
    if (!request.connect.empty()) choice = {SourceKind::Remote, request.connect};
    if (choice.kind != SourceKind::Remote) return kExitOk;
    request.connect = choice.file;
    if (request.ca.empty())
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
        if (const char* ca = std::getenv("VANTREL_CA")) request.ca = ca;
    if (request.tokenFile.empty())
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
        if (const char* token = std::getenv("VANTREL_TOKEN_FILE")) request.tokenFile = token;
    if (request.ca.empty() || request.tokenFile.empty())
        return Fail(kExitUsage,
                    "a remote source needs --ca CA.pem and --token-file FILE "
                    "(or VANTREL_CA and VANTREL_TOKEN_FILE)");
    return kExitOk;
}

std::unique_ptr<remote::CRemoteSession> ConnectRemote(const RemoteRequest& request) {
    remote::RemoteSourceOptions options;
    std::string error;
    if (!remote::SplitHostPort(request.connect, options.host, options.port)) {
        Fail(kExitBadInput, "not HOST:PORT: " + request.connect);
        return nullptr;
    }
    if (!remote::ReadTokenFile(request.tokenFile, options.token, error)) {
        Fail(kExitBadInput, error);
        return nullptr;
    }
    options.caPath = request.ca;
    options.reconnectLimit =
        std::chrono::milliseconds(static_cast<long long>(request.reconnectSeconds * 1000));
    options.notice = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    // Qt's sockets on the network thread want an application object; the
    // CLI has none otherwise. It lives as long as the process.
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vantrel-cli";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);  // NOLINT(cppcoreguidelines-owning-memory)
    }
    auto session = std::make_unique<remote::CRemoteSession>(std::move(options));
    std::string message;
    if (session->Connect(message) != remote::ConnectOutcome::Connected) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return nullptr;
    }
    return session;
}

}  // namespace vantrel::cli
