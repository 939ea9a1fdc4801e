#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {

class TlsContext;

// Packet types [MS-TDS 2.2.3.1.1].
enum class PacketType : std::uint8_t {
    SqlBatch = 0x01,
    Rpc = 0x03,
    Reply = 0x04,
    Attention = 0x06,
    TransactionManager = 0x0E,
    Login7 = 0x10,
    Prelogin = 0x12,
};

struct TdsMessage {
    PacketType type = PacketType::SqlBatch;
    std::vector<std::uint8_t> payload;
};

enum class ReadResult { Message, Closed, TimedOut, Invalid, TooLarge };

// One client connection: reads whole messages (all packets up to end-of-message) and sends replies
// split at the negotiated packet size. Reading and sending may happen on two different threads.
//
// With TLS the connection goes as SQL Server's does: the handshake travels inside PRELOGIN packets,
// then TDS packets travel inside TLS records, until endTls() (after the login, when only the login
// is encrypted) or the end of the connection.
class TdsSocket {
public:
    TdsSocket(int fd, std::uint16_t spid);
    ~TdsSocket();
    TdsSocket(const TdsSocket&) = delete;
    TdsSocket& operator=(const TdsSocket&) = delete;

    // Reads the next message. maxBytes caps the assembled payload; timeoutMs < 0 waits forever,
    // otherwise it bounds the wait for each piece of data. An ATTENTION packet is returned at once.
    ReadResult readMessage(TdsMessage& message, std::size_t maxBytes, int timeoutMs);
    // Sends a whole message; false when the client is gone.
    bool sendMessage(PacketType type, const std::vector<std::uint8_t>& payload, std::size_t packetSize);
    // Wakes any thread blocked on this socket; later reads see a closed connection.
    void shutDown();

    // Answers the client's TLS handshake; false when it fails or the client goes away. Call only
    // while one thread uses the socket (the login).
    bool startTls(const TlsContext& context, int timeoutMs);
    // Goes back to clear text on both sides, as a client does after an encrypted login.
    void endTls();
    bool encrypted() const { return tls_ != nullptr; }

private:
    struct Tls;
    enum class Io { Ok, Closed, TimedOut };
    Io readExact(std::uint8_t* data, std::size_t size, int timeoutMs);
    Io readRaw(std::uint8_t* data, std::size_t size, int timeoutMs);
    Io readPlain(std::uint8_t* data, std::size_t size, int timeoutMs, std::size_t& got);
    bool writeAll(const std::uint8_t* data, std::size_t size);
    bool sendRaw(const std::uint8_t* data, std::size_t size);
    // Sends what TLS has written on its own (an alert), in stream order with the replies.
    bool flushTls();

    int fd_;
    std::uint16_t spid_;
    std::mutex shutdownMutex_;
    bool shutDown_ = false;
    std::unique_ptr<Tls> tls_;
    std::mutex tlsMutex_;  // the TLS state, used by the reading and the sending thread
    std::mutex sendMutex_; // keeps encrypted output in the order TLS produced it
};

} // namespace standin
