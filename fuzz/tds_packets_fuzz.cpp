// The stand-in's request path up to execution: bytes from a client are read as TDS packets and
// messages, then parsed as the session does (PRELOGIN, LOGIN7, SQL batches, transaction
// requests), and the batch's T-SQL is split, lexed and translated for SQLite. The first input
// byte picks the TDS version. Protocol and SQL errors are expected answers; anything else is a finding.

#include "bytes.h"
#include "reply.h"
#include "tds_login.h"
#include "tds_requests.h"
#include "tds_socket.h"
#include "tsql_lexer.h"
#include "tsql_translate.h"

#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

using namespace standin;

namespace {

constexpr std::uint32_t kVersions[] = {0x70000000, 0x71000001, 0x72090002, 0x730B0003, 0x74000004};

void translate_batch(const std::string& sql) {
    TranslationContext context;
    context.currentDatabase = "master";
    context.schemaFor = [](const std::string& database) { return database; };
    for (const Statement& statement : splitStatements(sql)) {
        try {
            (void)translateToSqlite(statement.tokens, context);
        } catch (const SqlError&) {
        }
    }
}

void parse_message(const TdsMessage& message, TdsVersion version) {
    switch (message.type) {
    case PacketType::Prelogin:
        (void)clientEncryption(message.payload);
        break;
    case PacketType::Login7:
        (void)parseLogin7(message.payload);
        break;
    case PacketType::SqlBatch:
        translate_batch(sqlBatchText(message.payload, version));
        break;
    case PacketType::TransactionManager:
        (void)parseTransactionRequest(message.payload, version);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const auto version = TdsVersion::fromLogin(kVersions[data[0] % 5]);
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) {
        std::abort();
    }
    // Inputs are far smaller than the socket buffer, so this write never blocks.
    if (::write(fds[1], data + 1, size - 1) != static_cast<ssize_t>(size - 1)) {
        std::abort();
    }
    ::shutdown(fds[1], SHUT_WR);
    {
        TdsSocket socket(fds[0], 51);
        TdsMessage message;
        while (socket.readMessage(message, 1u << 20, -1) == ReadResult::Message) {
            try {
                parse_message(message, *version);
            } catch (const ProtocolError&) {
            } catch (const SqlError&) {
            }
        }
    }
    ::close(fds[1]);
    return 0;
}
