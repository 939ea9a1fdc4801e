#include "server.h"

#include "log.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace standin {
namespace {

constexpr int kReapIntervalMs = 1000;

[[noreturn]] void systemFailure(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::unique_ptr<TlsContext> makeTlsContext(const ServerConfig& config) {
    if (config.encryption == EncryptionMode::Off) {
        return nullptr;
    }
    if (config.tlsCertificate.empty()) {
        return std::make_unique<TlsContext>();
    }
    return std::make_unique<TlsContext>(config.tlsCertificate, config.tlsKey);
}

} // namespace

Server::Server(ServerConfig config)
    : config_(std::move(config)), tls_(makeTlsContext(config_)),
      catalog_(config_.dataDir, config_.collation), settings_{&catalog_, config_.failingBackups, config_.backupDelay,
                                                              config_.backupProcedureInstalled} {
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        systemFailure("cannot create the wake-up pipe");
    }
}

Server::~Server() {
    stop();
    endAllConnections();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
    }
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
}

std::uint16_t Server::listen() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(config_.port);
    if (::inet_pton(AF_INET, config_.address.c_str(), &address.sin_addr) != 1) {
        throw std::runtime_error("not an IPv4 address: " + config_.address);
    }
    if ((ntohl(address.sin_addr.s_addr) >> 24) != 127) {
        throw std::runtime_error("refusing to listen on " + config_.address + ": only loopback addresses are served");
    }
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        systemFailure("cannot create a socket");
    }
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        systemFailure("cannot listen on " + config_.address + ":" + std::to_string(config_.port));
    }
    if (::listen(listenFd_, 64) != 0) {
        systemFailure("cannot listen");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void Server::serve() {
    while (!stopping_) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        const int ready = ::poll(fds, 2, kReapIntervalMs);
        if (ready < 0 && errno != EINTR) {
            logLine(std::string("poll failed: ") + std::strerror(errno));
            break;
        }
        if (ready > 0 && (fds[0].revents & POLLIN) && !stopping_) {
            acceptOne();
        }
        reapFinished();
    }
    endAllConnections();
}

void Server::acceptOne() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return; // the client went away before it was accepted, or descriptors ran out: keep serving
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    std::uint16_t spid = nextSpid_++;
    if (spid < 51) { // wrapped around
        nextSpid_ = 52;
        spid = 51;
    }
    std::lock_guard lock(connectionsMutex_);
    // Sessions that ended but are not reaped yet no longer count.
    const auto open =
        std::count_if(connections_.begin(), connections_.end(), [](const Connection& c) { return !c.finished; });
    if (std::size_t(open) >= config_.maxConnections) {
        logLine("refused a connection: " + std::to_string(config_.maxConnections) + " are open");
        ::close(fd);
        return;
    }
    Connection& connection = connections_.emplace_back();
    connection.session =
        std::make_unique<Session>(fd, spid, settings_, config_.credentials, Encryption{config_.encryption, tls_.get()});
    try {
        connection.thread = std::thread([&connection] {
            connection.session->run();
            connection.finished = true;
        });
    } catch (const std::system_error& e) { // out of threads: refuse this client, keep the others
        logLine(std::string("cannot start a connection thread: ") + e.what());
        connections_.pop_back();
    }
}

void Server::reapFinished() {
    std::list<Connection> finished;
    {
        std::lock_guard lock(connectionsMutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (it->finished) {
                finished.splice(finished.end(), connections_, it);
            }
            it = next;
        }
    }
    for (Connection& connection : finished) {
        connection.thread.join();
    }
}

void Server::endAllConnections() {
    std::list<Connection> all;
    {
        std::lock_guard lock(connectionsMutex_);
        all.splice(all.end(), connections_);
    }
    for (Connection& connection : all) {
        connection.session->shutDown();
    }
    for (Connection& connection : all) {
        connection.thread.join();
    }
}

void Server::stop() {
    if (!stopping_.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakePipe_[1], &byte, 1);
    }
}

} // namespace standin
