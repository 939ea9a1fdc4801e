#pragma once

#include "collation.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace standin {

// What the server answers to a request, independent of the wire format. The executor builds it,
// the session encodes it as TDS tokens for the client's protocol version.

enum class SqlType { NVarChar, Int, Bit, Float, DateTime, VarBinary, Decimal, DateTime2 };

struct Column {
    std::string name;
    SqlType type = SqlType::NVarChar;
    // NVarChar: characters, or bytes of the collation's code page for CHAR and VARCHAR; VarBinary:
    // bytes; 0 means the MAX form. Int: 1, 2, 4 or 8 bytes. Decimal: the precision. DateTime2:
    // the digits of the second's fraction.
    int size = 0;
    int scale = 0;            // Decimal
    bool fixedLength = false; // NCHAR, CHAR: values padded with blanks to the size
    bool codePage = false;    // CHAR, VARCHAR: text held in the collation's code page
    Collation collation = defaultCollation();
};

struct DateTimeValue {
    std::int32_t days = 0;   // since 1900-01-01
    std::uint32_t ticks = 0; // 1/300 seconds since midnight
};

struct DateTime2Value {
    std::int32_t days = 0;   // since 0001-01-01
    std::uint64_t units = 0; // 100 ns since midnight
};

struct Blob {
    std::string bytes;
};

// A cell holds NULL, an integer, a double (also a DECIMAL's value), UTF-8 text, a date-time or
// binary bytes.
using Cell = std::variant<std::monostate, std::int64_t, double, std::string, DateTimeValue, Blob, DateTime2Value>;
using Row = std::vector<Cell>;

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// An INFO (severity 10 and below) or ERROR message.
struct ServerMessage {
    std::int32_t number = 0;
    std::uint8_t state = 1;
    std::uint8_t severity = 16;
    std::string text;
    std::string procedure;
    std::int32_t line = 1;
};

enum class DoneToken : std::uint8_t { Done = 0xFD, DoneProc = 0xFE, DoneInProc = 0xFF };

// DONE status bits.
inline constexpr std::uint16_t kDoneMore = 0x01;
inline constexpr std::uint16_t kDoneError = 0x02;
inline constexpr std::uint16_t kDoneCount = 0x10;
inline constexpr std::uint16_t kDoneAttention = 0x20;

// Current-command codes carried in DONE tokens.
inline constexpr std::uint16_t kCmdSelect = 0xC1;
inline constexpr std::uint16_t kCmdInsert = 0xC3;
inline constexpr std::uint16_t kCmdDelete = 0xC4;
inline constexpr std::uint16_t kCmdUpdate = 0xC5;
inline constexpr std::uint16_t kCmdExecute = 0xE0;

struct Done {
    DoneToken token = DoneToken::Done;
    std::uint16_t status = 0;
    std::uint16_t command = 0;
    std::uint64_t count = 0;
};

struct DatabaseChange {
    std::string newName;
    std::string oldName;
    Collation collation = defaultCollation(); // the new database's, sent with the change
};

enum class TransactionEvent : std::uint8_t { Begin = 8, Commit = 9, Rollback = 10 };

struct TransactionChange {
    TransactionEvent event = TransactionEvent::Begin;
    std::uint64_t descriptor = 0;
};

struct ReturnStatus {
    std::int32_t value = 0;
};

using ReplyItem = std::variant<DatabaseChange, TransactionChange, ServerMessage, ResultSet, ReturnStatus, Done>;

struct Reply {
    std::vector<ReplyItem> items;

    // Constructs the item in place: moving a whole ReplyItem into the vector trips GCC 12's
    // -Wmaybe-uninitialized false positive for std::variant at -O2.
    template <typename Item> void add(Item&& item) {
        items.emplace_back(std::in_place_type<std::decay_t<Item>>, std::forward<Item>(item));
    }
    // True when the reply holds an error message (severity 11 or more).
    bool hasError() const;
    const ServerMessage* firstError() const;
};

// A statement failed with a server error; the batch stops and the client gets the message.
class SqlError : public std::runtime_error {
public:
    explicit SqlError(ServerMessage message) : std::runtime_error(message.text), message_(std::move(message)) {}
    SqlError(std::int32_t number, std::string text, std::string procedure = {})
        : SqlError(ServerMessage{number, 1, 16, std::move(text), std::move(procedure), 1}) {}
    const ServerMessage& message() const { return message_; }
    // Messages sent after the first one, as for a BACKUP or RESTORE that ends with 3013.
    void follow(ServerMessage next) { following_.push_back(std::move(next)); }
    const std::vector<ServerMessage>& following() const { return following_; }

private:
    ServerMessage message_;
    std::vector<ServerMessage> following_;
};

} // namespace standin
