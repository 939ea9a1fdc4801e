#include "tds_socket.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::uint8_t kStatusEndOfMessage = 0x01;

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

} // namespace

TdsSocket::TdsSocket(int fd, std::uint16_t spid) : fd_(fd), spid_(spid) {}

TdsSocket::~TdsSocket() {
    ::close(fd_);
}

void TdsSocket::shutDown() {
    std::lock_guard lock(shutdownMutex_);
    if (!shutDown_) {
        shutDown_ = true;
        ::shutdown(fd_, SHUT_RDWR);
    }
}

TdsSocket::Io TdsSocket::readExact(std::uint8_t* data, std::size_t size, int timeoutMs) {
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

bool TdsSocket::writeAll(const std::uint8_t* data, std::size_t size) {
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

} // namespace standin
