#pragma once

#include "bytes.h"
#include "reply.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// The TDS versions this server speaks; the client's LOGIN7 chooses one.
struct TdsVersion {
    std::uint32_t loginValue = 0x74000004; // as sent in LOGIN7, little-endian field

    static std::optional<TdsVersion> fromLogin(std::uint32_t value);
    int level() const; // 70, 71, 72, 73 or 74

    bool hasAllHeaders() const { return level() >= 72; }
    bool hasCollation() const { return level() >= 71; }
    bool wideFields() const { return level() >= 72; }   // user type, DONE row count, ERROR line
    bool hasPlp() const { return level() >= 72; }       // NVARCHAR(MAX) and VARBINARY(MAX)
    bool hasDatetime2() const { return level() >= 73; } // older clients get DATETIME2 as text
    // The four bytes LOGINACK carries, echoing the client's version.
    std::uint32_t loginAckValue() const;
};

// Encodes reply tokens [MS-TDS 2.2.7] for one protocol version.
class TokenWriter {
public:
    explicit TokenWriter(TdsVersion version) : version_(version) {}

    void envDatabase(const std::string& newName, const std::string& oldName);
    void envLanguage(const std::string& language);
    void envCollation(const Collation& collation);
    void envPacketSize(std::uint32_t newSize, std::uint32_t oldSize);
    void envTransaction(TransactionEvent event, std::uint64_t descriptor);
    void message(const ServerMessage& message);
    void loginAck(const std::string& program);
    void resultSet(const ResultSet& result);
    void returnStatus(std::int32_t value);
    void done(const Done& done);
    void item(const ReplyItem& item);

    std::vector<std::uint8_t>& bytes() { return out_.bytes(); }

private:
    void envStrings(std::uint8_t type, const std::string& newValue, const std::string& oldValue);
    void colMetadata(const std::vector<Column>& columns);
    void typeInfo(const Column& column);
    void row(const std::vector<Column>& columns, const Row& row);
    void value(const Column& column, const Cell& cell);
    void variableText(const Column& column, const Cell& cell);
    void decimalValue(const Column& column, const Cell& cell);
    void datetime2Value(const Column& column, const Cell& cell);
    void plp(const std::vector<std::uint8_t>* data);

    TdsVersion version_;
    ByteWriter out_;
};

} // namespace standin
