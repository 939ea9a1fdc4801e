#pragma once

#include "catalog.h"
#include "executor.h"
#include "session.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace standin {

struct ServerConfig {
    std::string address = "127.0.0.1";
    std::uint16_t port = 0; // 0: the system picks a free port
    std::filesystem::path data_dir;
    Credentials credentials;
    std::vector<std::string> failing_backups;
    std::chrono::milliseconds backup_delay{0};
    // A client that loops on connecting must not use up the threads and descriptors of the
    // machine the tests run on.
    std::size_t max_connections = 64;
};

// Accepts connections on a loopback address and runs a session thread for each.
class Server {
public:
    explicit Server(ServerConfig config); // opens the catalogue; throws std::runtime_error
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds and listens; returns the port. Throws std::runtime_error.
    std::uint16_t listen();
    // Accepts until stop(); then ends every connection and waits for its thread.
    void serve();
    // Safe from any thread, also before serve() runs.
    void stop();

    const ServerSettings& settings() const { return settings_; }

private:
    struct Connection {
        std::unique_ptr<Session> session;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    void accept_one();
    void reap_finished();
    void end_all_connections();

    ServerConfig config_;
    Catalog catalog_;
    ServerSettings settings_;
    int listen_fd_ = -1;
    int wake_pipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint16_t> next_spid_{51};
    std::mutex connections_mutex_;
    std::list<Connection> connections_;
};

} // namespace standin
