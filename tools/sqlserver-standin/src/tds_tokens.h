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
    std::uint32_t login_value = 0x74000004; // as sent in LOGIN7, little-endian field

    static std::optional<TdsVersion> from_login(std::uint32_t value);
    int level() const; // 70, 71, 72, 73 or 74

    bool has_all_headers() const { return level() >= 72; }
    bool has_collation() const { return level() >= 71; }
    bool wide_fields() const { return level() >= 72; } // user type, DONE row count, ERROR line
    bool has_plp() const { return level() >= 72; }     // NVARCHAR(MAX) and VARBINARY(MAX)
    // The four bytes LOGINACK carries, echoing the client's version.
    std::uint32_t login_ack_value() const;
};

// Encodes reply tokens [MS-TDS 2.2.7] for one protocol version.
class TokenWriter {
public:
    explicit TokenWriter(TdsVersion version) : version_(version) {}

    void env_database(const std::string& new_name, const std::string& old_name);
    void env_language(const std::string& language);
    void env_collation();
    void env_packet_size(std::uint32_t new_size, std::uint32_t old_size);
    void env_transaction(TransactionEvent event, std::uint64_t descriptor);
    void message(const ServerMessage& message);
    void login_ack(const std::string& program);
    void result_set(const ResultSet& result);
    void return_status(std::int32_t value);
    void done(const Done& done);
    void item(const ReplyItem& item);

    std::vector<std::uint8_t>& bytes() { return out_.bytes(); }

private:
    void env_strings(std::uint8_t type, const std::string& new_value, const std::string& old_value);
    void col_metadata(const std::vector<Column>& columns);
    void type_info(const Column& column);
    void row(const std::vector<Column>& columns, const Row& row);
    void value(const Column& column, const Cell& cell);
    void variable_text(const Column& column, const Cell& cell);
    void plp(const std::vector<std::uint8_t>* data);

    TdsVersion version_;
    ByteWriter out_;
};

// The collation sent with NVARCHAR columns and at login: Japanese_CI_AS.
inline constexpr std::uint8_t kCollation[5] = {0x11, 0x04, 0xD0, 0x00, 0x00};

} // namespace standin
