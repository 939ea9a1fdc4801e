#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace standin {

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

private:
    enum class Io { Ok, Closed, TimedOut };
    Io readExact(std::uint8_t* data, std::size_t size, int timeoutMs);
    bool writeAll(const std::uint8_t* data, std::size_t size);

    int fd_;
    std::uint16_t spid_;
    std::mutex shutdownMutex_;
    bool shutDown_ = false;
};

} // namespace standin
