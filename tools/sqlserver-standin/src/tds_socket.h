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

    // Reads the next message. max_bytes caps the assembled payload; timeout_ms < 0 waits forever,
    // otherwise it bounds the wait for each piece of data. An ATTENTION packet is returned at once.
    ReadResult read_message(TdsMessage& message, std::size_t max_bytes, int timeout_ms);
    // Sends a whole message; false when the client is gone.
    bool send_message(PacketType type, const std::vector<std::uint8_t>& payload, std::size_t packet_size);
    // Wakes any thread blocked on this socket; later reads see a closed connection.
    void shut_down();

private:
    enum class Io { Ok, Closed, TimedOut };
    Io read_exact(std::uint8_t* data, std::size_t size, int timeout_ms);
    bool write_all(const std::uint8_t* data, std::size_t size);

    int fd_;
    std::uint16_t spid_;
    std::mutex shutdown_mutex_;
    bool shut_down_ = false;
};

} // namespace standin
