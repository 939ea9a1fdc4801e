#pragma once

#include <optional>
#include <ostream>
#include <sql.h>
#include <sqlext.h>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

// One row as UTF-8 text; NULL is nullopt.
using TextRow = std::vector<std::optional<std::string>>;

struct OdbcDiagnostic {
    std::string sqlstate;
    long native = 0;
    std::string message;
};

std::string describe(const std::vector<OdbcDiagnostic>& diagnostics);

inline std::ostream& operator<<(std::ostream& out, const OdbcDiagnostic& d) {
    return out << d.sqlstate << " (" << d.native << ") " << d.message;
}

// What one SQLExecDirect gave: its return code, its diagnostics, the first result set (as text)
// and SQLRowCount.
struct OdbcResult {
    struct Column {
        std::string name;
        SQLSMALLINT type = 0;
        SQLULEN size = 0;
    };

    SQLRETURN rc = SQL_ERROR;
    std::vector<OdbcDiagnostic> diagnostics;
    std::vector<Column> columns;
    std::vector<TextRow> rows;
    SQLLEN rowCount = -1;

    bool ok() const { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }
};

class OdbcError : public std::runtime_error {
public:
    OdbcError(const std::string& what, std::vector<OdbcDiagnostic> diagnostics)
        : std::runtime_error(what + ": " + describe(diagnostics)), diagnostics_(std::move(diagnostics)) {}
    const std::vector<OdbcDiagnostic>& diagnostics() const { return diagnostics_; }

private:
    std::vector<OdbcDiagnostic> diagnostics_;
};

// An ODBC connection through the driver manager, for tests. Throws OdbcError when the connection
// cannot be made; the diagnostics say why.
class OdbcSession {
public:
    explicit OdbcSession(const std::string& connectionString, int loginTimeoutSeconds = 10);
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    // SQLExecDirect with a query timeout (0: none); reads the first result set, then drains the rest.
    OdbcResult run(const std::string& sql, SQLULEN queryTimeoutSeconds = 0);
    SQLHDBC handle() const { return dbc_; }

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

std::vector<OdbcDiagnostic> odbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

} // namespace testsupport
