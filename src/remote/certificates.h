#pragma once
// Keys, certificates and the token for a first try of `serve`, made with
// OpenSSL's libcrypto: a self-signed CA, a server certificate it signs for
// the machine's names, and a random token. The CA's key is not kept: the
// CA exists only to let clients check this one server.

#include <string>
#include <vector>

namespace vantrel::remote {

struct CertificateRequest {
    std::vector<std::string> dnsNames;  // subject alternative names besides 127.0.0.1
    std::vector<std::string> ipAddresses{"127.0.0.1"};
    long validFromDays = 0;  // relative to now; negative: in the past
    long validToDays = 825;  // relative to now
};

struct CertificateFiles {
    std::string caPem, serverPem, serverKeyPem, token;
};

// The machine's host names as a certificate should name them: the host
// name, its fully qualified form when it differs, and "localhost".
std::vector<std::string> MachineHostNames();

// Makes the four files' contents; false and `error` when libcrypto fails.
bool MakeCertificateFiles(const CertificateRequest& request, CertificateFiles& files,
                          std::string& error);

// The constant-time comparison of a presented token with the expected one.
bool TokensEqual(const std::string& presented, const std::string& expected);

}  // namespace vantrel::remote
