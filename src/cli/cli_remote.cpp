#include "cli/cli_remote.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "remote/secret_files.h"
#include "remote/tls_setup.h"

namespace vantrel::cli {

bool TakeRemoteOption(const Args& args, size_t& i, RemoteRequest& request, std::string& error) {
    const std::string& a = args[i];
    std::string* target = a == "--connect"      ? &request.connect
                          : a == "--ca"         ? &request.ca
                          : a == "--token-file" ? &request.tokenFile
                                                : nullptr;
    if (!target && a != "--reconnect-limit") return false;
    if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return true;
    }
    const std::string& v = args[++i];
    if (target) {
        *target = v;
    } else {
        const auto s = ParseDouble(v);
        if (!s || *s < 0) error = "not a time: " + v;
        if (s) request.reconnectSeconds = *s;
    }
    return true;
}

void RemoteFromEnvironment(RemoteRequest& request) {
    const char* driver = std::getenv("VANTREL_DRIVER");
    if (request.connect.empty() && driver && std::strncmp(driver, "remote:", 7) == 0)
        request.connect = driver + 7;
    if (request.ca.empty())
        if (const char* ca = std::getenv("VANTREL_CA")) request.ca = ca;
    if (request.tokenFile.empty())
        if (const char* token = std::getenv("VANTREL_TOKEN_FILE")) request.tokenFile = token;
}

std::unique_ptr<CliDocument> OpenRemoteDocument(const RemoteRequest& request,
                                                const std::string& cataloguePath,
                                                DocumentServices services, int& exitCode) {
    exitCode = kExitBadInput;
    remote::RemoteSourceOptions options;
    std::string error;
    if (!remote::SplitHostPort(request.connect, options.host, options.port)) {
        Fail(kExitBadInput, "not HOST:PORT: " + request.connect);
        return nullptr;
    }
    if (request.ca.empty() || request.tokenFile.empty()) {
        exitCode = Fail(kExitUsage, "--connect needs --ca CA.pem and --token-file FILE");
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
    // The network thread's sockets want Qt's application object.
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "vantrel-cli";
        static char* argv[] = {name, nullptr};
        new QCoreApplication(argc, argv);  // NOLINT: lives as long as the process
    }
    auto session = std::make_unique<remote::CRemoteSession>(std::move(options));
    std::string message;
    if (session->Connect(message) != remote::ConnectOutcome::Connected) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return nullptr;
    }
    auto cli = OpenCliRemoteDocument(std::move(session), cataloguePath, std::move(services));
    if (cli) exitCode = kExitOk;
    return cli;
}

}  // namespace vantrel::cli
