#include "tls_context.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <stdexcept>

namespace standin {
namespace {

// The subject SQL Server gives the certificate it makes for itself when none is configured.
constexpr const char* kSelfSignedName = "SSL_Self_Signed_Fallback";
constexpr long kValiditySeconds = 365L * 24 * 3600;

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Free {
    void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using CertPtr = std::unique_ptr<X509, X509Free>;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(lastTlsError(what));
}

SSL_CTX* newServerContext() {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (ctx == nullptr) {
        fail("cannot create a TLS context");
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    // Handshakes happen only inside PRELOGIN packets: a renegotiation later in the stream could not
    // be carried, and session tickets would only be thrown away.
    SSL_CTX_set_options(ctx, SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_TICKET);
    return ctx;
}

CertPtr selfSignedCertificate(EVP_PKEY* key) {
    CertPtr cert(X509_new());
    if (!cert) {
        fail("cannot create a certificate");
    }
    std::uint64_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), serial >> 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValiditySeconds);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(kSelfSignedName), -1,
                               -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (X509_set_pubkey(cert.get(), key) != 1 || X509_sign(cert.get(), key, EVP_sha256()) == 0) {
        fail("cannot sign the certificate");
    }
    return cert;
}

} // namespace

std::string lastTlsError(const std::string& fallback) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return fallback;
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return fallback + ": " + text;
}

TlsContext::TlsContext() : ctx_(newServerContext()) {
    KeyPtr key(EVP_EC_gen("P-256"));
    if (!key) {
        SSL_CTX_free(ctx_);
        fail("cannot make a key");
    }
    try {
        const CertPtr cert = selfSignedCertificate(key.get());
        if (SSL_CTX_use_certificate(ctx_, cert.get()) != 1 || SSL_CTX_use_PrivateKey(ctx_, key.get()) != 1) {
            fail("cannot use the certificate made at start");
        }
    } catch (...) {
        SSL_CTX_free(ctx_);
        throw;
    }
}

TlsContext::TlsContext(const std::filesystem::path& certificate, const std::filesystem::path& key)
    : ctx_(newServerContext()) {
    if (SSL_CTX_use_certificate_chain_file(ctx_, certificate.c_str()) != 1) {
        SSL_CTX_free(ctx_);
        fail("cannot use the certificate in " + certificate.string());
    }
    if (SSL_CTX_use_PrivateKey_file(ctx_, key.c_str(), SSL_FILETYPE_PEM) != 1 || SSL_CTX_check_private_key(ctx_) != 1) {
        SSL_CTX_free(ctx_);
        fail("cannot use the private key in " + key.string());
    }
}

TlsContext::~TlsContext() {
    SSL_CTX_free(ctx_);
}

} // namespace standin
