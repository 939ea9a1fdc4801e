#pragma once

#include "cancel_signal.h"
#include "executor.h"
#include "tds_login.h"
#include "tds_socket.h"
#include "tds_tokens.h"
#include "tls_context.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace standin {

struct Credentials {
    std::string user;
    std::string password;
};

// What the server offers its clients; `context` is null when the mode is Off.
struct Encryption {
    EncryptionMode mode = EncryptionMode::Off;
    const TlsContext* context = nullptr;
};

// One client connection from PRELOGIN to disconnect. The session thread runs requests; a reader
// thread keeps reading the socket meanwhile, so that an ATTENTION stops a running statement.
class Session {
public:
    Session(int fd, std::uint16_t spid, const ServerSettings& settings, const Credentials& credentials,
            Encryption encryption);
    ~Session();

    void run();
    // Ends the connection from another thread (server shutdown).
    void shutDown() { socket_.shutDown(); }

private:
    bool login();
    std::optional<Login7> readLogin();
    // Answers PRELOGIN and reads LOGIN7, through TLS when negotiated; false to close.
    bool negotiate(const TdsMessage& prelogin, TdsMessage& login);
    bool sendLoginAck();
    void refuseLogin(const std::vector<ServerMessage>& messages);
    void serve();
    // Waits for the next request or ATTENTION and answers it; false when the connection is over.
    bool serveNext();
    void readRequests();
    Reply handle(const TdsMessage& message);
    Reply handleTransactionRequest(const TdsMessage& message);
    bool send(const Reply& reply);
    void log(const std::string& text) const;

    TdsSocket socket_;
    std::uint16_t spid_;
    const ServerSettings& settings_;
    const Credentials& credentials_;
    Encryption encryption_;
    std::string encryptionUsed_ = "none"; // for the log
    TdsVersion version_;
    std::size_t packetSize_ = 4096;
    std::string user_;
    CancelSignal cancel_;
    std::unique_ptr<Executor> executor_;

    std::mutex queueMutex_;
    std::condition_variable queueChanged_;
    std::deque<TdsMessage> queue_;
    bool attention_ = false;
    bool closed_ = false;
};

} // namespace standin
