#include "odbc_session.h"

namespace testsupport {
namespace {

bool succeeded(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

// Reads a column as text in pieces: SQLGetData returns long values in several calls.
std::optional<std::string> textColumn(SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string value;
    char buffer[4096];
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        if (rc == SQL_NO_DATA) {
            return value;
        }
        if (!succeeded(rc)) {
            throw OdbcError("SQLGetData", odbcDiagnostics(SQL_HANDLE_STMT, stmt));
        }
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        const bool truncated = indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
        value.append(buffer, truncated ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
        if (!truncated) {
            return value;
        }
    }
}

void readFirstResult(SQLHSTMT stmt, OdbcResult& result) {
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt, &count);
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
        SQLCHAR name[512];
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        OdbcResult::Column column;
        SQLDescribeCol(stmt, c, name, sizeof name, &nameLength, &column.type, &column.size, &decimals, &nullable);
        column.name.assign(reinterpret_cast<const char*>(name));
        result.columns.push_back(column);
    }
    SQLRETURN rc = SQL_SUCCESS;
    while (count > 0 && succeeded(rc = SQLFetch(stmt))) {
        TextRow row;
        for (SQLUSMALLINT c = 1; c <= count; ++c) {
            row.push_back(textColumn(stmt, c));
        }
        result.rows.push_back(std::move(row));
    }
    if (rc == SQL_ERROR) {
        result.rc = rc;
    }
}

} // namespace

std::string describe(const std::vector<OdbcDiagnostic>& diagnostics) {
    std::string text;
    for (const OdbcDiagnostic& d : diagnostics) {
        text += (text.empty() ? "" : "; ") + d.sqlstate + " (" + std::to_string(d.native) + ") " + d.message;
    }
    return text.empty() ? "no diagnostics" : text;
}

std::vector<OdbcDiagnostic> odbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    std::vector<OdbcDiagnostic> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR message[2048] = {};
        SQLSMALLINT length = 0;
        if (!succeeded(SQLGetDiagRec(handleType, handle, i, state, &native, message, sizeof message, &length))) {
            return out;
        }
        out.push_back({reinterpret_cast<const char*>(state), native, reinterpret_cast<const char*>(message)});
    }
}

OdbcSession::OdbcSession(const std::string& connectionString, int loginTimeoutSeconds) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    // FreeTDS waits forever for a silent server unless a login timeout is set.
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(loginTimeoutSeconds)), 0);
    std::string in = connectionString;
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()), static_cast<SQLSMALLINT>(in.size()),
                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!succeeded(rc)) {
        auto diagnostics = odbcDiagnostics(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        throw OdbcError("SQLDriverConnect", std::move(diagnostics));
    }
    connected_ = true;
}

OdbcSession::~OdbcSession() {
    if (connected_) {
        SQLDisconnect(dbc_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

OdbcResult OdbcSession::run(const std::string& sql, SQLULEN queryTimeoutSeconds) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    if (queryTimeoutSeconds > 0) {
        SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(queryTimeoutSeconds), 0);
    }
    OdbcResult result;
    std::string text = sql;
    result.rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    result.diagnostics = odbcDiagnostics(SQL_HANDLE_STMT, stmt);
    if (succeeded(result.rc)) {
        SQLRowCount(stmt, &result.rowCount);
        readFirstResult(stmt, result);
        SQLRETURN more = SQL_SUCCESS;
        while (succeeded(more = SQLMoreResults(stmt))) {
        }
        if (more == SQL_ERROR) {
            result.rc = SQL_ERROR;
            auto later = odbcDiagnostics(SQL_HANDLE_STMT, stmt);
            result.diagnostics.insert(result.diagnostics.end(), later.begin(), later.end());
        }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return result;
}

} // namespace testsupport
