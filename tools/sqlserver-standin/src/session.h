#pragma once

#include "cancel_signal.h"
#include "executor.h"
#include "tds_login.h"
#include "tds_socket.h"
#include "tds_tokens.h"

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

// One client connection from PRELOGIN to disconnect. The session thread runs requests; a reader
// thread keeps reading the socket meanwhile, so that an ATTENTION stops a running statement.
class Session {
public:
    Session(int fd, std::uint16_t spid, const ServerSettings& settings, const Credentials& credentials);
    ~Session();

    void run();
    // Ends the connection from another thread (server shutdown).
    void shut_down() { socket_.shut_down(); }

private:
    bool login();
    std::optional<Login7> read_login();
    bool send_login_ack();
    void refuse_login(const std::vector<ServerMessage>& messages);
    void serve();
    // Waits for the next request or ATTENTION and answers it; false when the connection is over.
    bool serve_next();
    void read_requests();
    Reply handle(const TdsMessage& message);
    Reply handle_transaction_request(const TdsMessage& message);
    bool send(const Reply& reply);
    void log(const std::string& text) const;

    TdsSocket socket_;
    std::uint16_t spid_;
    const ServerSettings& settings_;
    const Credentials& credentials_;
    TdsVersion version_;
    std::size_t packet_size_ = 4096;
    std::string user_;
    CancelSignal cancel_;
    std::unique_ptr<Executor> executor_;

    std::mutex queue_mutex_;
    std::condition_variable queue_changed_;
    std::deque<TdsMessage> queue_;
    bool attention_ = false;
    bool closed_ = false;
};

} // namespace standin
