#pragma once
// One ODBC connection and the statements run on it: plain SQLExecDirect with literal SQL (no
// prepared statements, no bound parameters), result sets read whole into memory. Text travels as
// UTF-16 through the wide ODBC calls, so it does not depend on the driver's narrow character set.
// Not thread-safe: one user at a time.

#include "data/variant.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace data {

// One diagnostic record of the driver or the server.
struct OdbcDiag {
    std::string sqlState; // "42S02", "08001", ...
    std::int32_t nativeError = 0;
    std::string text; // "[FreeTDS][SQL Server]Invalid object name 'x'."
};

// A failure: every diagnostic record in the driver's order.
struct OdbcError {
    std::vector<OdbcDiag> records;
    // The record that says what went wrong: the first one that is not a warning.
    const OdbcDiag& main() const;
    std::string text() const;
    // A message of the server about the statement, not a failure of the connection or driver.
    bool isServerError() const;
    bool isTimeout() const;
};

struct ResultTable {
    std::vector<std::string> columns;
    std::vector<std::vector<Variant>> rows;
};

class OdbcSession {
public:
    OdbcSession() = default;
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // `secret` (the password) is blotted out of every error text the session hands out.
    bool connect(const std::string& connectionString, int loginTimeoutSeconds, std::string secret);
    bool connected() const { return dbc_ != nullptr; }
    void disconnect();

    // Runs a statement and every result it gives; `affected` is the sum of the row counts
    // reported, -1 when none was. A statement without any result counts as success.
    bool execute(std::string_view sql, int timeoutSeconds, std::int64_t& affected);
    // Runs a query and reads its first result set (an empty table when it gives none).
    bool query(std::string_view sql, int timeoutSeconds, ResultTable& table);

    bool beginTransaction();
    bool endTransaction(bool commit);
    bool inTransaction() const { return inTransaction_; }

    const OdbcError& lastError() const { return lastError_; }

private:
    bool fail(short handleType, void* handle);
    void failWith(std::string sqlState, std::string text);
    // The run was ended by a signal: nothing new is started on the server.
    bool failCancelled();
    void* newStatement(int timeoutSeconds);

    void* dbc_ = nullptr;
    bool inTransaction_ = false;
    std::string secret_;
    OdbcError lastError_;
};

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

} // namespace data
