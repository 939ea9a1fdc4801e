#include "session.h"

#include "bytes.h"
#include "log.h"
#include "tds_login.h"
#include "tds_requests.h"
#include "utf.h"

#include <algorithm>
#include <thread>

namespace standin {
namespace {

constexpr std::size_t kMaxLoginBytes = 64u << 10;
constexpr std::size_t kMaxRequestBytes = 16u << 20;
constexpr int kLoginTimeoutMs = 30000;
// pytds reads login replies into a 4096-byte buffer, so the login phase never uses larger packets.
constexpr std::size_t kLoginPacketSize = 4096;
constexpr std::uint32_t kMinPacketSize = 512;
constexpr std::uint32_t kMaxPacketSize = 32767;

Reply error_reply(std::int32_t number, const std::string& text) {
    Reply reply;
    reply.add(ServerMessage{number, 1, 16, text, {}, 1});
    reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    return reply;
}

} // namespace

Session::Session(int fd, std::uint16_t spid, const ServerSettings& settings, const Credentials& credentials)
    : socket_(fd, spid), spid_(spid), settings_(settings), credentials_(credentials) {}

Session::~Session() = default;

void Session::log(const std::string& text) const {
    log_line("spid " + std::to_string(spid_) + ": " + text);
}

void Session::run() {
    try {
        if (login()) {
            serve();
        }
    } catch (const ProtocolError& e) {
        log(std::string("protocol error, closing: ") + e.what());
    } catch (const std::exception& e) {
        log(std::string("connection ended by an internal error: ") + e.what());
    }
    socket_.shut_down(); // the client sees the end now, not when the server reaps this thread
}

bool Session::login() {
    const std::optional<Login7> request = read_login();
    if (!request) {
        return false;
    }
    version_ = request->version;
    user_ = request->user;
    if (!iequals(request->user, credentials_.user) || request->password != credentials_.password) {
        log("login refused for user '" + request->user + "'");
        refuse_login({});
        return false;
    }
    try {
        executor_ = std::make_unique<Executor>(settings_, request->database.empty() ? "master" : request->database,
                                               cancel_, version_.has_plp());
    } catch (const SqlError& e) {
        log("login refused: " + e.message().text);
        ServerMessage open_failed = e.message();
        open_failed.severity = 11;
        refuse_login({open_failed});
        return false;
    }
    const std::uint32_t asked = request->packet_size == 0 ? kLoginPacketSize : request->packet_size;
    packet_size_ = std::clamp(asked, kMinPacketSize, kMaxPacketSize);
    log("login of '" + request->user + "' from '" + request->host + "' (" + request->application + "), TDS " +
        std::to_string(version_.level()) + ", database " + executor_->database());
    return send_login_ack();
}

std::optional<Login7> Session::read_login() {
    TdsMessage message;
    if (socket_.read_message(message, kMaxLoginBytes, kLoginTimeoutMs) != ReadResult::Message) {
        return std::nullopt;
    }
    if (message.type == PacketType::Prelogin) { // TDS 7.0 clients start with LOGIN7 itself
        if (!socket_.send_message(PacketType::Reply, prelogin_reply(), kLoginPacketSize) ||
            socket_.read_message(message, kMaxLoginBytes, kLoginTimeoutMs) != ReadResult::Message) {
            return std::nullopt;
        }
    }
    if (message.type != PacketType::Login7) {
        log("closing: the client did not start with PRELOGIN/LOGIN7");
        return std::nullopt;
    }
    return parse_login7(message.payload);
}

// The login reply in the order SQL Server sends it.
bool Session::send_login_ack() {
    TokenWriter out(version_);
    out.env_database(executor_->database(), "master");
    out.message({5701, 2, 0, "Changed database context to '" + executor_->database() + "'.", {}, 1});
    if (version_.has_collation()) {
        out.env_collation();
    }
    out.env_language("us_english");
    out.message({5703, 1, 0, "Changed language setting to us_english.", {}, 1});
    out.login_ack("sqlserver-standin");
    out.env_packet_size(static_cast<std::uint32_t>(packet_size_), static_cast<std::uint32_t>(kLoginPacketSize));
    out.done(Done{});
    return socket_.send_message(PacketType::Reply, out.bytes(), kLoginPacketSize);
}

void Session::refuse_login(const std::vector<ServerMessage>& messages) {
    TokenWriter out(version_);
    for (const ServerMessage& message : messages) {
        out.message(message);
    }
    out.message({18456, 1, 14, "Login failed for user '" + user_ + "'.", {}, 1});
    out.done(Done{DoneToken::Done, kDoneError, 0, 0});
    socket_.send_message(PacketType::Reply, out.bytes(), kLoginPacketSize);
}

void Session::read_requests() {
    for (;;) {
        TdsMessage message;
        const ReadResult result = socket_.read_message(message, kMaxRequestBytes, -1);
        std::lock_guard lock(queue_mutex_);
        if (result != ReadResult::Message) {
            if (result == ReadResult::Invalid || result == ReadResult::TooLarge) {
                log(result == ReadResult::TooLarge ? "closing: request larger than the server accepts"
                                                   : "closing: malformed packet");
            }
            closed_ = true;
        } else if (message.type == PacketType::Attention) {
            attention_ = true;
        } else {
            queue_.push_back(std::move(message));
        }
        if (closed_ || attention_) {
            cancel_.raise(); // under the queue lock, so serve() clears it consistently
            executor_->interrupt();
        }
        queue_changed_.notify_all();
        if (closed_) {
            return;
        }
    }
}

void Session::serve() {
    std::thread reader([this] { read_requests(); });
    try {
        while (serve_next()) {
        }
    } catch (const std::exception& e) { // a broken request or a fault here ends this connection only
        log(std::string("closing: ") + e.what());
    }
    socket_.shut_down();
    reader.join();
}

bool Session::serve_next() {
    std::unique_lock lock(queue_mutex_);
    queue_changed_.wait(lock, [this] { return closed_ || attention_ || !queue_.empty(); });
    if (closed_) {
        return false;
    }
    if (!queue_.empty()) {
        const TdsMessage message = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        if (!cancel_.raised()) {
            const Reply reply = handle(message);
            if (!cancel_.raised() && !send(reply)) {
                return false;
            }
        }
        lock.lock();
    }
    if (attention_) {
        // Answered also when the reply had already gone out: the client waits for this DONE.
        attention_ = false;
        cancel_.clear();
        lock.unlock();
        log("attention acknowledged");
        Reply ack;
        ack.add(Done{DoneToken::Done, kDoneAttention, 0, 0});
        return send(ack);
    }
    return true;
}

bool Session::send(const Reply& reply) {
    TokenWriter out(version_);
    for (const ReplyItem& item : reply.items) {
        out.item(item);
    }
    return socket_.send_message(PacketType::Reply, out.bytes(), packet_size_);
}

Reply Session::handle(const TdsMessage& message) {
    switch (message.type) {
    case PacketType::SqlBatch: {
        const std::string sql = sql_batch_text(message.payload, version_);
        log("[" + executor_->database() + "] " + sql);
        Reply reply = executor_->run_batch(sql);
        if (const ServerMessage* error = reply.first_error()) {
            log("error " + std::to_string(error->number) + ": " + error->text);
        }
        return reply;
    }
    case PacketType::TransactionManager:
        return handle_transaction_request(message);
    case PacketType::Rpc:
        log("RPC request refused");
        return error_reply(50000, "RPC requests are not supported by this server; send the statement as a SQL batch.");
    default:
        throw ProtocolError("unexpected request type after login");
    }
}

Reply Session::handle_transaction_request(const TdsMessage& message) {
    const TransactionManagerRequest parsed = parse_transaction_request(message.payload, version_);
    const std::uint16_t request = parsed.type;
    const bool begin_another = parsed.begin_another;
    log("transaction request " + std::to_string(request) + (begin_another ? " (and begin)" : ""));
    using Request = Executor::TransactionRequest;
    switch (request) {
    case kTmBegin:
        return executor_->transaction_request(Request::Begin, false);
    case kTmCommit:
        return executor_->transaction_request(Request::Commit, begin_another);
    case kTmRollback:
        return executor_->transaction_request(Request::Rollback, begin_another);
    default:
        return error_reply(50000, "Transaction manager request " + std::to_string(request) +
                                      " is not supported by this server.");
    }
}

} // namespace standin
