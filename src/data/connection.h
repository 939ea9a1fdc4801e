#pragma once
// Connection: one login to the server and the statements run on it, the layer under both
// QRCDBS_DataBase and AdoConnection. It turns the session's diagnostics into the status codes and
// provider codes those classes report, and keeps the text of the last failure. Not thread-safe:
// one user at a time (a signal ends a running statement through statement_cancel instead).

#include "data/connection_string.h"
#include "data/odbc_session.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace data {

// The status of an operation: 0 = success.
using LibStatus = std::int16_t;

namespace libstatus {
inline constexpr LibStatus kOk = 0;
inline constexpr LibStatus kInvalidHandle = 1; // no open connection (never opened, or closed)
inline constexpr LibStatus kFailed = 2;        // the driver or the server refused; see the error text
inline constexpr LibStatus kNotSupported = 3;  // an operation or argument that is not offered
inline constexpr LibStatus kBadArgument = 5;   // a server name or connection value that cannot be used
} // namespace libstatus

// The provider codes fnExecuteEx reports.
namespace hresult {
inline constexpr std::int32_t kErrorsInCommand = std::int32_t(0x80040E14); // the server refused the statement
inline constexpr std::int32_t kTimeout = std::int32_t(0x80040E31);         // the query timeout expired
inline constexpr std::int32_t kClosed = std::int32_t(0x800A0E78);          // no open connection
inline constexpr std::int32_t kFail = std::int32_t(0x80004005);            // any other failure
} // namespace hresult

// Statements time out after this many seconds unless the owner says otherwise.
inline constexpr int kCommandTimeoutSeconds = 30;

// Where a login with the values as the user gave them goes ("host", "host,port",
// "host\instance"); nullopt when the server name cannot be used. The caller wipes the password.
std::optional<OdbcTarget> loginTarget(std::string_view driver, std::string_view server, std::string_view database,
                                      std::string_view user, std::string_view password);

class Connection {
public:
    // kBadArgument when a value cannot be handed to the driver as it stands, kFailed when the
    // driver or the server refuses. The connection attributes are built from the values and
    // wiped after the login; the caller wipes target.password.
    LibStatus open(const OdbcTarget& target, int loginTimeoutSeconds);
    // From an ODBC connection string given as it stands; the string is wiped after the login.
    LibStatus open(std::string odbcConnectionString, int loginTimeoutSeconds);
    bool isOpen() const { return session_.connected(); }
    void close() { session_.disconnect(); }

    int commandTimeout() const { return commandTimeout_; }
    void setCommandTimeout(int seconds) { commandTimeout_ = seconds; }

    // `affected`: the rows the statement reported, -1 when it reported none.
    LibStatus execute(std::string_view sql, std::int64_t& affected);
    // The first result set of the query, read whole.
    LibStatus query(std::string_view sql, ResultTable& table);
    LibStatus beginTransaction();
    LibStatus endTransaction(bool commit);

    // The text and provider code of the last failure; "" and 0 after a success.
    const std::string& lastErrorText() const { return lastErrorText_; }
    std::int32_t lastErrorCode() const { return lastErrorCode_; }

private:
    LibStatus finish(bool ok);
    LibStatus notOpen();

    OdbcSession session_;
    int commandTimeout_ = kCommandTimeoutSeconds;
    std::string lastErrorText_;
    std::int32_t lastErrorCode_ = 0;
};

} // namespace data
