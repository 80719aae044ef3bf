#include "remote/certificates.h"

#include <netdb.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace vantrel::remote {
namespace {

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using Names = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES, GENERAL_NAMES_free>>;

std::string OpenSslError(const char* what) {
    char text[256] = "";
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    return std::string(what) + ": " + text;
}

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext) return false;
    const bool ok = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return ok;
}

bool AddSubjectAltNames(X509* cert, const CertificateRequest& request) {
    Names names(GENERAL_NAMES_new());
    auto add = [&](int type, const std::string& value) {
        ASN1_IA5STRING* text = nullptr;
        ASN1_OCTET_STRING* ip = nullptr;
        if (type == GEN_DNS) {
            text = ASN1_IA5STRING_new();
            if (!text || !ASN1_STRING_set(text, value.data(), static_cast<int>(value.size())))
                return false;
        } else {
            ip = a2i_IPADDRESS(value.c_str());
            if (!ip) return false;
        }
        GENERAL_NAME* name = GENERAL_NAME_new();
        GENERAL_NAME_set0_value(name, type, type == GEN_DNS ? static_cast<void*>(text) : ip);
        return sk_GENERAL_NAME_push(names.get(), name) > 0;
    };
    for (const std::string& dns : request.dnsNames)
        if (!add(GEN_DNS, dns)) return false;
    for (const std::string& ip : request.ipAddresses)
        if (!add(GEN_IPADD, ip)) return false;
    return X509_add1_ext_i2d(cert, NID_subject_alt_name, names.get(), 0, 0) == 1;
}

Cert NewCertificate(EVP_PKEY* key, const char* commonName, const CertificateRequest& request) {
    Cert cert(X509_new());
    unsigned char serial[16];
    if (!cert || RAND_bytes(serial, sizeof serial) != 1) return nullptr;
    serial[0] &= 0x7F;  // a positive serial number
    BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
    const bool ok = bn && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    if (!ok || X509_set_version(cert.get(), 2) != 1) return nullptr;
    if (!X509_gmtime_adj(X509_getm_notBefore(cert.get()), request.validFromDays * 86400L) ||
        !X509_gmtime_adj(X509_getm_notAfter(cert.get()), request.validToDays * 86400L))
        return nullptr;
    X509_NAME* name = X509_get_subject_name(cert.get());
    if (X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>("Vantrel"), -1, -1,
                                   0) != 1 ||
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                   reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                                   0) != 1 ||
        X509_set_pubkey(cert.get(), key) != 1)
        return nullptr;
    return cert;
}

std::string PemOf(const Cert& cert) {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), cert.get()) != 1) return {};
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
}

std::string PemOf(const Key& key) {
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio ||
        PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(n));
}

}  // namespace

std::vector<std::string> MachineHostNames() {
    std::vector<std::string> names;
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) {
        names.emplace_back(host);
        addrinfo hints{};
        hints.ai_flags = AI_CANONNAME;
        addrinfo* info = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &info) == 0 && info) {
            if (info->ai_canonname && names.front() != info->ai_canonname)
                names.emplace_back(info->ai_canonname);
            freeaddrinfo(info);
        }
    }
    names.emplace_back("localhost");
    return names;
}

bool MakeCertificateFiles(const CertificateRequest& request, CertificateFiles& files,
                          std::string& error) {
    Key caKey(EVP_EC_gen("P-256"));
    Key serverKey(EVP_EC_gen("P-256"));
    if (!caKey || !serverKey) {
        error = OpenSslError("key generation failed");
        return false;
    }
    CertificateRequest caRequest = request;
    caRequest.validToDays = std::max(request.validToDays, 3650L);
    Cert ca = NewCertificate(caKey.get(), "Vantrel serve CA", caRequest);
    Cert server = NewCertificate(
        serverKey.get(), request.dnsNames.empty() ? "localhost" : request.dnsNames.front().c_str(),
        request);
    const bool ok =
        ca && server && X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get())) == 1 &&
        AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
        AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
        AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") &&
        X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0 &&
        X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get())) == 1 &&
        AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") &&
        AddExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature") &&
        AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") &&
        AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid") &&
        AddSubjectAltNames(server.get(), request) &&
        X509_sign(server.get(), caKey.get(), EVP_sha256()) > 0;
    if (!ok) {
        error = OpenSslError("certificate could not be made");
        return false;
    }
    unsigned char random[32];
    if (RAND_bytes(random, sizeof random) != 1) {
        error = OpenSslError("no random token");
        return false;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    files.token.clear();
    for (unsigned char c : random) {
        files.token += kHex[c >> 4];
        files.token += kHex[c & 15];
    }
    files.token += '\n';
    files.caPem = PemOf(ca);
    files.serverPem = PemOf(server);
    files.serverKeyPem = PemOf(serverKey);
    if (files.caPem.empty() || files.serverPem.empty() || files.serverKeyPem.empty()) {
        error = OpenSslError("PEM output failed");
        return false;
    }
    return true;
}

bool TokensEqual(const std::string& presented, const std::string& expected) {
    if (presented.size() != expected.size() || expected.empty()) {
        (void)CRYPTO_memcmp(expected.data(), expected.data(), expected.size());
        return false;
    }
    return CRYPTO_memcmp(presented.data(), expected.data(), expected.size()) == 0;
}

}  // namespace vantrel::remote
