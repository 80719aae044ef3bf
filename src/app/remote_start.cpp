#include "remote_start.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>

#include "document/document.h"
#include "remote/secret_files.h"
#include "remote/tls_setup.h"

namespace vantrel {

void CNoticeRelay::Attach(CVantrelDoc* doc) {
    std::lock_guard lock(*m_mutex);
    *m_doc = doc;
}

void CNoticeRelay::Post(const std::string& text) {
    // The document is reached on the GUI thread only, and only while it is
    // attached; the network thread never waits for it.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [mutex = m_mutex, doc = m_doc, line = text + "\n"] {
            std::lock_guard lock(*mutex);
            if (*doc) (*doc)->Pipeline().AppendNotice(line);
        },
        Qt::QueuedConnection);
}

std::unique_ptr<remote::CRemoteSession> ConnectDesktop(RemoteStart start, CNoticeRelay& relay) {
    if (start.ca.empty())
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
        if (const char* ca = std::getenv("VANTREL_CA")) start.ca = ca;
    if (start.tokenFile.empty())
        // NOLINTNEXTLINE(concurrency-mt-unsafe): the environment is only read
        if (const char* token = std::getenv("VANTREL_TOKEN_FILE")) start.tokenFile = token;
    remote::RemoteSourceOptions options;
    std::string error;
    if (start.ca.empty() || start.tokenFile.empty()) {
        std::fprintf(stderr, "vantrel: --connect needs --ca CA.pem and --token-file FILE\n");
        return nullptr;
    }
    if (!remote::SplitHostPort(start.address, options.host, options.port)) {
        std::fprintf(stderr, "vantrel: not HOST:PORT: %s\n", start.address.c_str());
        return nullptr;
    }
    if (!remote::ReadTokenFile(start.tokenFile, options.token, error)) {
        std::fprintf(stderr, "vantrel: %s\n", error.c_str());
        return nullptr;
    }
    options.caPath = start.ca;
    options.notice = [&relay](const std::string& text) { relay.Post(text); };
    auto session = std::make_unique<remote::CRemoteSession>(std::move(options));
    std::string message;
    if (session->Connect(message) != remote::ConnectOutcome::Connected) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return nullptr;
    }
    return session;
}

}  // namespace vantrel
