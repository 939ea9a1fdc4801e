#pragma once

#include "catalog.h"
#include "executor.h"
#include "session.h"
#include "tls_context.h"

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
    std::filesystem::path dataDir;
    Credentials credentials;
    std::vector<std::string> failingBackups;
    std::chrono::milliseconds backupDelay{0};
    bool backupProcedureInstalled = true; // false: master holds no SSP_BackUPDB
    // A client that loops on connecting must not use up the threads and descriptors of the
    // machine the tests run on.
    std::size_t maxConnections = 64;
    // The server's collation: that of master, msdb, model and tempdb when they are made, and of
    // every database created without COLLATE.
    Collation collation = defaultCollation();
    EncryptionMode encryption = EncryptionMode::Login;
    // --tls-cert and --tls-key; both empty: a self-signed certificate made at start.
    std::filesystem::path tlsCertificate;
    std::filesystem::path tlsKey;
};

// Accepts connections on a loopback address and runs a session thread for each.
class Server {
public:
    // Opens the catalogue and readies TLS; throws std::runtime_error.
    explicit Server(ServerConfig config);
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

    void acceptOne();
    void reapFinished();
    void endAllConnections();

    ServerConfig config_;
    std::unique_ptr<TlsContext> tls_; // none when encryption is off
    Catalog catalog_;
    ServerSettings settings_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint16_t> nextSpid_{51};
    std::mutex connectionsMutex_;
    std::list<Connection> connections_;
};

} // namespace standin
