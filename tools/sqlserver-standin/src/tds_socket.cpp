#include "tds_socket.h"

#include "tls_context.h"

#include <algorithm>
#include <cerrno>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEndOfMessage = 0x01;
constexpr std::size_t kHandshakePacketSize = 4096;
constexpr std::size_t kMaxHandshakeBytes = 64u << 10;
constexpr std::size_t kTlsRecordHeader = 5;
constexpr std::size_t kMaxTlsRecord = (16u << 10) + 2048; // plaintext limit plus expansion

bool knownClientType(std::uint8_t type) {
    switch (static_cast<PacketType>(type)) {
    case PacketType::SqlBatch:
    case PacketType::Rpc:
    case PacketType::Attention:
    case PacketType::TransactionManager:
    case PacketType::Login7:
    case PacketType::Prelogin:
        return true;
    default:
        return false;
    }
}

std::vector<std::uint8_t> drain(BIO* out) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(BIO_ctrl_pending(out)));
    if (!bytes.empty()) {
        const int n = BIO_read(out, bytes.data(), static_cast<int>(bytes.size()));
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    return bytes;
}

} // namespace

struct TdsSocket::Tls {
    SSL* ssl = nullptr;
    BIO* in = nullptr;  // ciphertext from the client, owned by ssl
    BIO* out = nullptr; // ciphertext for the client, owned by ssl
    bool streaming = false;

    explicit Tls(const TlsContext& context) : ssl(SSL_new(context.get())) {
        if (ssl != nullptr) {
            in = BIO_new(BIO_s_mem());
            out = BIO_new(BIO_s_mem());
            SSL_set_bio(ssl, in, out);
            SSL_set_accept_state(ssl);
        }
    }
    ~Tls() { SSL_free(ssl); }
    Tls(const Tls&) = delete;
    Tls& operator=(const Tls&) = delete;
};

TdsSocket::TdsSocket(int fd, std::uint16_t spid) : fd_(fd), spid_(spid) {}

TdsSocket::~TdsSocket() {
    tls_.reset();
    ::close(fd_);
}

void TdsSocket::shutDown() {
    std::lock_guard lock(shutdownMutex_);
    if (!shutDown_) {
        shutDown_ = true;
        ::shutdown(fd_, SHUT_RDWR);
    }
}

TdsSocket::Io TdsSocket::readRaw(std::uint8_t* data, std::size_t size, int timeoutMs) {
    std::size_t done = 0;
    while (done < size) {
        if (timeoutMs >= 0) {
            pollfd pfd{fd_, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, timeoutMs);
            if (ready == 0) {
                return Io::TimedOut;
            }
            if (ready < 0 && errno != EINTR) {
                return Io::Closed;
            }
            if (ready < 0) {
                continue;
            }
        }
        const ssize_t n = ::recv(fd_, data + done, size - done, 0);
        if (n == 0) {
            return Io::Closed;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Io::Closed;
        }
        done += static_cast<std::size_t>(n);
    }
    return Io::Ok;
}

// Decrypts into data. Ciphertext is read one whole TLS record at a time, never beyond it: after an
// encrypted login the client's next bytes are clear text, which TLS must not swallow.
TdsSocket::Io TdsSocket::readPlain(std::uint8_t* data, std::size_t size, int timeoutMs, std::size_t& got) {
    for (;;) {
        int n = 0, error = SSL_ERROR_NONE;
        bool pending = false;
        {
            std::lock_guard lock(tlsMutex_);
            n = SSL_read(tls_->ssl, data, static_cast<int>(std::min<std::size_t>(size, 1u << 30)));
            error = n > 0 ? SSL_ERROR_NONE : SSL_get_error(tls_->ssl, n);
            pending = BIO_ctrl_pending(tls_->out) > 0;
        }
        if (pending && !flushTls()) {
            return Io::Closed;
        }
        if (n > 0) {
            got = static_cast<std::size_t>(n);
            return Io::Ok;
        }
        if (error != SSL_ERROR_WANT_READ) {
            return Io::Closed; // close_notify or a broken record
        }
        std::uint8_t record[kTlsRecordHeader + kMaxTlsRecord];
        if (const Io io = readRaw(record, kTlsRecordHeader, timeoutMs); io != Io::Ok) {
            return io;
        }
        const std::size_t length = (std::size_t{record[3]} << 8) | record[4];
        if (length > kMaxTlsRecord) {
            return Io::Closed;
        }
        if (const Io io = readRaw(record + kTlsRecordHeader, length, timeoutMs); io != Io::Ok) {
            return io;
        }
        std::lock_guard lock(tlsMutex_);
        BIO_write(tls_->in, record, static_cast<int>(kTlsRecordHeader + length));
    }
}

TdsSocket::Io TdsSocket::readExact(std::uint8_t* data, std::size_t size, int timeoutMs) {
    if (!tls_ || !tls_->streaming) {
        return readRaw(data, size, timeoutMs);
    }
    std::size_t done = 0;
    while (done < size) {
        std::size_t got = 0;
        if (const Io io = readPlain(data + done, size - done, timeoutMs, got); io != Io::Ok) {
            return io;
        }
        done += got;
    }
    return Io::Ok;
}

ReadResult TdsSocket::readMessage(TdsMessage& message, std::size_t maxBytes, int timeoutMs) {
    message.payload.clear();
    bool first = true;
    for (;;) {
        std::uint8_t header[kHeaderSize];
        const Io io = readExact(header, kHeaderSize, timeoutMs);
        if (io != Io::Ok) {
            return io == Io::TimedOut ? ReadResult::TimedOut : ReadResult::Closed;
        }
        const std::uint8_t type = header[0];
        const std::size_t length = (static_cast<std::size_t>(header[2]) << 8) | header[3];
        if (!knownClientType(type) || length < kHeaderSize) {
            return ReadResult::Invalid;
        }
        if (!first && static_cast<PacketType>(type) != message.type &&
            static_cast<PacketType>(type) != PacketType::Attention) {
            return ReadResult::Invalid;
        }
        const std::size_t body = length - kHeaderSize;
        const bool overCap = message.payload.size() + body > maxBytes;
        const std::size_t oldSize = overCap ? 0 : message.payload.size();
        message.payload.resize(oldSize + body);
        const Io bodyIo = readExact(message.payload.data() + oldSize, body, timeoutMs);
        if (bodyIo != Io::Ok) {
            return bodyIo == Io::TimedOut ? ReadResult::TimedOut : ReadResult::Closed;
        }
        if (overCap) {
            return ReadResult::TooLarge;
        }
        message.type = static_cast<PacketType>(type);
        if (message.type == PacketType::Attention) {
            message.payload.clear();
            return ReadResult::Message;
        }
        if (header[1] & kStatusEndOfMessage) {
            return ReadResult::Message;
        }
        first = false;
    }
}

bool TdsSocket::sendRaw(const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd_, data + done, size - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool TdsSocket::flushTls() {
    std::lock_guard send(sendMutex_);
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(tlsMutex_);
        bytes = drain(tls_->out);
    }
    return sendRaw(bytes.data(), bytes.size());
}

bool TdsSocket::writeAll(const std::uint8_t* data, std::size_t size) {
    if (!tls_ || !tls_->streaming) {
        return sendRaw(data, size);
    }
    std::lock_guard send(sendMutex_);
    std::vector<std::uint8_t> bytes;
    {
        std::lock_guard lock(tlsMutex_);
        // A memory BIO takes everything at once, so one call encrypts the whole packet.
        if (SSL_write(tls_->ssl, data, static_cast<int>(size)) != static_cast<int>(size)) {
            return false;
        }
        bytes = drain(tls_->out);
    }
    return sendRaw(bytes.data(), bytes.size());
}

bool TdsSocket::sendMessage(PacketType type, const std::vector<std::uint8_t>& payload, std::size_t packetSize) {
    const std::size_t chunk = std::max<std::size_t>(packetSize, 512) - kHeaderSize;
    std::size_t offset = 0;
    std::uint8_t packetId = 1;
    std::vector<std::uint8_t> packet;
    do {
        const std::size_t body = std::min(chunk, payload.size() - offset);
        const bool last = offset + body == payload.size();
        const std::size_t length = body + kHeaderSize;
        packet.assign({static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(last ? kStatusEndOfMessage : 0),
                       static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
                       static_cast<std::uint8_t>(spid_ >> 8), static_cast<std::uint8_t>(spid_), packetId++, 0});
        packet.insert(packet.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset),
                      payload.begin() + static_cast<std::ptrdiff_t>(offset + body));
        if (!writeAll(packet.data(), packet.size())) {
            return false;
        }
        offset += body;
    } while (offset < payload.size());
    return true;
}

bool TdsSocket::startTls(const TlsContext& context, int timeoutMs) {
    tls_ = std::make_unique<Tls>(context);
    if (tls_->ssl == nullptr) {
        tls_.reset();
        return false;
    }
    for (;;) {
        TdsMessage message;
        if (readMessage(message, kMaxHandshakeBytes, timeoutMs) != ReadResult::Message ||
            message.type != PacketType::Prelogin) {
            tls_.reset();
            return false;
        }
        BIO_write(tls_->in, message.payload.data(), static_cast<int>(message.payload.size()));
        const int rc = SSL_do_handshake(tls_->ssl);
        const int error = rc == 1 ? SSL_ERROR_NONE : SSL_get_error(tls_->ssl, rc);
        // The server's flight, an alert included, goes back inside PRELOGIN packets.
        const std::vector<std::uint8_t> flight = drain(tls_->out);
        if (!flight.empty() && !sendMessage(PacketType::Prelogin, flight, kHandshakePacketSize)) {
            tls_.reset();
            return false;
        }
        if (rc == 1) {
            tls_->streaming = true;
            return true;
        }
        if (error != SSL_ERROR_WANT_READ) {
            tls_.reset();
            return false;
        }
    }
}

void TdsSocket::endTls() {
    std::lock_guard send(sendMutex_);
    std::lock_guard lock(tlsMutex_);
    tls_.reset();
}

} // namespace standin
