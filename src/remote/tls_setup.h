#pragma once
// TLS settings of both ends: TLS 1.3 only, Qt Network's OpenSSL backend,
// certificates and keys read from PEM files.

#include <QSslConfiguration>
#include <string>

namespace vantrel::remote {

// Makes the OpenSSL backend the active one; false and `error` when Qt
// cannot load it (the library or the plug-in is missing).
bool UseOpenSslBackend(std::string& error);

// The server's configuration from its certificate and key.
bool ServerTlsConfiguration(const std::string& certPath, const std::string& keyPath,
                            QSslConfiguration& config, std::string& error);
// The client's: only certificates signed by the given CA are trusted.
bool ClientTlsConfiguration(const std::string& caPath, QSslConfiguration& config,
                            std::string& error);

// "HOST:PORT" split; false when it is not one (IPv6 addresses in brackets).
// Port 0 only where `anyPort` allows it: a server then listens on a free
// port it names.
bool SplitHostPort(const std::string& text, std::string& host, uint16_t& port,
                   bool anyPort = false);

}  // namespace vantrel::remote
