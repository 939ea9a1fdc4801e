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

Reply errorReply(std::int32_t number, const std::string& text) {
    Reply reply;
    reply.add(ServerMessage{number, 1, 16, text, {}, 1});
    reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    return reply;
}

} // namespace

Session::Session(int fd, std::uint16_t spid, const ServerSettings& settings, const Credentials& credentials,
                 Encryption encryption)
    : socket_(fd, spid), spid_(spid), settings_(settings), credentials_(credentials), encryption_(encryption) {}

Session::~Session() = default;

void Session::log(const std::string& text) const {
    logLine("spid " + std::to_string(spid_) + ": " + text);
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
    socket_.shutDown(); // the client sees the end now, not when the server reaps this thread
}

bool Session::login() {
    const std::optional<Login7> request = readLogin();
    if (!request) {
        return false;
    }
    version_ = request->version;
    user_ = request->user;
    if (!iequals(request->user, credentials_.user) || request->password != credentials_.password) {
        log("login refused for user '" + request->user + "'");
        refuseLogin({});
        return false;
    }
    try {
        executor_ = std::make_unique<Executor>(settings_, request->database.empty() ? "master" : request->database,
                                               cancel_, version_.hasPlp(), spid_);
    } catch (const SqlError& e) {
        log("login refused: " + e.message().text);
        ServerMessage openFailed = e.message();
        openFailed.severity = 11;
        refuseLogin({openFailed});
        return false;
    }
    const std::uint32_t asked = request->packetSize == 0 ? kLoginPacketSize : request->packetSize;
    packetSize_ = std::clamp(asked, kMinPacketSize, kMaxPacketSize);
    log("login of '" + request->user + "' from '" + request->host + "' (" + request->application + "), TDS " +
        std::to_string(version_.level()) + ", encryption " + encryptionUsed_ + ", database " + executor_->database());
    return sendLoginAck();
}

std::optional<Login7> Session::readLogin() {
    TdsMessage message;
    if (socket_.readMessage(message, kMaxLoginBytes, kLoginTimeoutMs) != ReadResult::Message) {
        return std::nullopt;
    }
    if (message.type == PacketType::Prelogin) {
        TdsMessage login;
        if (!negotiate(message, login)) {
            return std::nullopt;
        }
        message = std::move(login);
    } else if (encryption_.mode == EncryptionMode::Required) { // TDS 7.0 starts with LOGIN7: no TLS
        log("closing: encryption is required and the client cannot encrypt");
        return std::nullopt;
    }
    if (message.type != PacketType::Login7) {
        log("closing: the client did not start with PRELOGIN/LOGIN7");
        return std::nullopt;
    }
    return parseLogin7(message.payload);
}

bool Session::negotiate(const TdsMessage& prelogin, TdsMessage& login) {
    const std::uint8_t answer = negotiateEncryption(clientEncryption(prelogin.payload), encryption_.mode);
    if (!socket_.sendMessage(PacketType::Reply, preloginReply(answer), kLoginPacketSize)) {
        return false;
    }
    if (answer == kEncryptRequired) {
        log("closing: encryption is required and the client cannot encrypt");
        return false;
    }
    if (answer != kEncryptNotSupported && !socket_.startTls(*encryption_.context, kLoginTimeoutMs)) {
        log("closing: the TLS handshake failed");
        return false;
    }
    if (socket_.readMessage(login, kMaxLoginBytes, kLoginTimeoutMs) != ReadResult::Message) {
        return false;
    }
    if (answer == kEncryptOff) {
        socket_.endTls(); // only the login was to be encrypted: both sides go on in clear text
    }
    encryptionUsed_ = answer == kEncryptNotSupported ? "none" : answer == kEncryptOff ? "login only" : "full";
    return true;
}

// The login reply in the order SQL Server sends it.
bool Session::sendLoginAck() {
    TokenWriter out(version_);
    out.envDatabase(executor_->database(), "master");
    out.message({5701, 2, 0, "Changed database context to '" + executor_->database() + "'.", {}, 1});
    if (version_.hasCollation()) {
        out.envCollation(executor_->collation());
    }
    out.envLanguage("us_english");
    out.message({5703, 1, 0, "Changed language setting to us_english.", {}, 1});
    out.loginAck("sqlserver-standin");
    out.envPacketSize(static_cast<std::uint32_t>(packetSize_), static_cast<std::uint32_t>(kLoginPacketSize));
    out.done(Done{});
    return socket_.sendMessage(PacketType::Reply, out.bytes(), kLoginPacketSize);
}

void Session::refuseLogin(const std::vector<ServerMessage>& messages) {
    TokenWriter out(version_);
    for (const ServerMessage& message : messages) {
        out.message(message);
    }
    out.message({18456, 1, 14, "Login failed for user '" + user_ + "'.", {}, 1});
    out.done(Done{DoneToken::Done, kDoneError, 0, 0});
    socket_.sendMessage(PacketType::Reply, out.bytes(), kLoginPacketSize);
}

void Session::readRequests() {
    for (;;) {
        TdsMessage message;
        const ReadResult result = socket_.readMessage(message, kMaxRequestBytes, -1);
        std::lock_guard lock(queueMutex_);
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
        queueChanged_.notify_all();
        if (closed_) {
            return;
        }
    }
}

void Session::serve() {
    std::thread reader([this] { readRequests(); });
    try {
        while (serveNext()) {
        }
    } catch (const std::exception& e) { // a broken request or a fault here ends this connection only
        log(std::string("closing: ") + e.what());
    }
    socket_.shutDown();
    reader.join();
}

bool Session::serveNext() {
    std::unique_lock lock(queueMutex_);
    queueChanged_.wait(lock, [this] { return closed_ || attention_ || !queue_.empty(); });
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
    return socket_.sendMessage(PacketType::Reply, out.bytes(), packetSize_);
}

Reply Session::handle(const TdsMessage& message) {
    switch (message.type) {
    case PacketType::SqlBatch: {
        const std::string sql = sqlBatchText(message.payload, version_);
        log("[" + executor_->database() + "] " + sql);
        Reply reply = executor_->runBatch(sql);
        if (const ServerMessage* error = reply.firstError()) {
            log("error " + std::to_string(error->number) + ": " + error->text);
        }
        return reply;
    }
    case PacketType::TransactionManager:
        return handleTransactionRequest(message);
    case PacketType::Rpc:
        log("RPC request refused");
        return errorReply(50000, "RPC requests are not supported by this server; send the statement as a SQL batch.");
    default:
        throw ProtocolError("unexpected request type after login");
    }
}

Reply Session::handleTransactionRequest(const TdsMessage& message) {
    const TransactionManagerRequest parsed = parseTransactionRequest(message.payload, version_);
    const std::uint16_t request = parsed.type;
    const bool beginAnother = parsed.beginAnother;
    log("transaction request " + std::to_string(request) + (beginAnother ? " (and begin)" : ""));
    using Request = Executor::TransactionRequest;
    switch (request) {
    case kTmBegin:
        return executor_->transactionRequest(Request::Begin, false);
    case kTmCommit:
        return executor_->transactionRequest(Request::Commit, beginAnother);
    case kTmRollback:
        return executor_->transactionRequest(Request::Rollback, beginAnother);
    default:
        return errorReply(50000, "Transaction manager request " + std::to_string(request) +
                                     " is not supported by this server.");
    }
}

} // namespace standin
