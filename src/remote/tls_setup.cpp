#include "remote/tls_setup.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <charconv>

#include "remote/secret_files.h"

namespace vantrel::remote {
namespace {

constexpr size_t kMaxPemBytes = 1 << 20;

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

bool UseOpenSslBackend(std::string& error) {
    if (QSslSocket::activeBackend() == QStringLiteral("openssl")) return true;
    if (!QSslSocket::availableBackends().contains(QStringLiteral("openssl")) ||
        !QSslSocket::setActiveBackend(QStringLiteral("openssl"))) {
        error =
            "Qt's OpenSSL TLS backend is not available (Debian packages libqt6network6 and "
            "libssl3)";
        return false;
    }
    return true;
}

bool ServerTlsConfiguration(const std::string& certPath, const std::string& keyPath,
                            QSslConfiguration& config, std::string& error) {
    std::string certPem, keyPem;
    if (!ReadSmallFile(certPath, kMaxPemBytes, certPem, error) ||
        !ReadSmallFile(keyPath, kMaxPemBytes, keyPem, error))
        return false;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(Bytes(certPem), QSsl::Pem);
    if (chain.isEmpty()) {
        error = certPath + ": no PEM certificate";
        return false;
    }
    QSslKey key(Bytes(keyPem), QSsl::Ec, QSsl::Pem);
    if (key.isNull()) key = QSslKey(Bytes(keyPem), QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) {
        error = keyPath + ": no PEM private key";
        return false;
    }
    config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_3);
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);  // clients prove themselves by token
    return true;
}

bool ClientTlsConfiguration(const std::string& caPath, QSslConfiguration& config,
                            std::string& error) {
    std::string caPem;
    if (!ReadSmallFile(caPath, kMaxPemBytes, caPem, error)) return false;
    const QList<QSslCertificate> cas = QSslCertificate::fromData(Bytes(caPem), QSsl::Pem);
    if (cas.isEmpty()) {
        error = caPath + ": no PEM certificate";
        return false;
    }
    config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_3);
    config.setCaCertificates(cas);  // the given CA only, not the system's
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    return true;
}

bool SplitHostPort(const std::string& text, std::string& host, uint16_t& port, bool anyPort) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    host = text.substr(0, colon);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return false;
        host = host.substr(1, host.size() - 2);
    }
    const std::string digits = text.substr(colon + 1);
    unsigned value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
        (value == 0 && !anyPort) || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace vantrel::remote
