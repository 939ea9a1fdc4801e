#pragma once

#include <filesystem>
#include <memory>
#include <string>

struct ssl_ctx_st;

namespace standin {

// What the server offers in PRELOGIN, as SQL Server's "Force Encryption" setting decides it:
// Off plays a server without a certificate (everything in clear text); Login encrypts at least
// the login of every client that can (SQL Server's default); Required encrypts whole connections
// and refuses clients that cannot.
enum class EncryptionMode { Off, Login, Required };

// The server side of TLS: one certificate and key for every connection. TDS 7.x carries TLS 1.2
// at most (SQL Server negotiates TLS 1.3 only with TDS 8.0), so the context stops there.
class TlsContext {
public:
    // A self-signed certificate made now, for a key made now (ECDSA P-256), as SQL Server makes
    // one at start when none is configured. Throws std::runtime_error.
    TlsContext();
    // A PEM certificate (chain) and its PEM private key from files. Throws std::runtime_error
    // naming the file that could not be used.
    TlsContext(const std::filesystem::path& certificate, const std::filesystem::path& key);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    ssl_ctx_st* get() const { return ctx_; }

private:
    ssl_ctx_st* ctx_ = nullptr;
};

// The text of OpenSSL's most recent error on this thread, or `fallback` when it has none.
std::string lastTlsError(const std::string& fallback);

} // namespace standin
