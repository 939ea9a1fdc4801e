#include "data/odbc_session.h"

#include "common/password.h"
#include "data/statement_cancel.h"
#include "platform/datetime.h"
#include "platform/utf8.h"

#include <algorithm>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <charconv>
#include <cmath>
#include <memory>

namespace data {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use 2-byte wide characters");

// Error texts shorter than this are not blotted out: a one- or two-letter password would
// otherwise cut holes into every message while hiding nothing.
constexpr std::size_t kMinSecretLength = 4;

SQLHENV environment() {
    // One environment for the whole process, made on first use and kept to its end.
    static const SQLHENV env = [] {
        SQLHENV h = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            return SQLHENV(SQL_NULL_HENV);
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    return env;
}

struct StatementDeleter {
    void operator()(void* h) const {
        if (h)
            SQLFreeHandle(SQL_HANDLE_STMT, h);
    }
};
using Statement = std::unique_ptr<void, StatementDeleter>;

SQLWCHAR* wide(std::u16string& s) {
    return reinterpret_cast<SQLWCHAR*>(s.data());
}

std::string blotOut(std::string text, const std::string& secret) {
    if (secret.size() < kMinSecretLength)
        return text;
    for (auto pos = text.find(secret); pos != std::string::npos; pos = text.find(secret, pos + 8))
        text.replace(pos, secret.size(), "********");
    return text;
}

std::vector<OdbcDiag> readDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, const std::string& secret) {
    std::vector<OdbcDiag> records;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(handleType, handle, i, state, &native, nullptr, 0, &length)))
            break;
        std::u16string text(std::size_t(length) + 1, u'\0');
        SQLGetDiagRecW(handleType, handle, i, state, &native, wide(text), SQLSMALLINT(text.size()), &length);
        text.resize(std::min<std::size_t>(std::size_t(length), text.size() - 1));
        records.push_back({utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(state), 5)), native,
                           blotOut(utf16ToUtf8(text), secret)});
    }
    return records;
}

// Reads a text or binary column in pieces until the driver has handed over all of it.
template <typename Unit>
bool readLong(SQLHSTMT st, SQLUSMALLINT col, SQLSMALLINT cType, std::basic_string<Unit>& out, bool& isNull) {
    constexpr std::size_t kChunk = 4096;
    const std::size_t terminator = cType == SQL_C_BINARY ? 0 : 1;
    std::vector<Unit> buf(kChunk);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(st, col, cType, buf.data(), SQLLEN(buf.size() * sizeof(Unit)), &indicator);
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return true;
        }
        const std::size_t room = buf.size() - terminator;
        const bool whole = rc == SQL_SUCCESS;
        std::size_t units = room;
        if (indicator != SQL_NO_TOTAL)
            units = std::min(room, std::size_t(indicator) / sizeof(Unit));
        else if (whole && terminator)
            units = std::size_t(std::find(buf.begin(), buf.begin() + std::ptrdiff_t(room), Unit{0}) - buf.begin());
        out.append(buf.data(), units);
        if (whole)
            return true;
    }
}

platform::LocalTime fromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    // Rounded to the second, as the date-time values of the program are.
    const int roundUp = ts.fraction >= 500000000u ? 1 : 0;
    return platform::makeLocalTime(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second + roundUp);
}

template <typename T> bool readFixed(SQLHSTMT st, SQLUSMALLINT col, SQLSMALLINT cType, T& value, bool& isNull) {
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(st, col, cType, &value, sizeof value, &indicator)))
        return false;
    isNull = indicator == SQL_NULL_DATA;
    return true;
}

// A whole number of more digits than a double holds exactly (RESTORE HEADERONLY's numeric(25,0)
// LSNs): read as text, kept as an integer when it fits, else as the text itself.
bool readWideWholeNumber(SQLHSTMT st, SQLUSMALLINT col, Variant& out, bool& isNull) {
    std::basic_string<SQLWCHAR> v;
    if (!readLong(st, col, SQL_C_WCHAR, v, isNull))
        return false;
    const std::string text = utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(v.data()), v.size()));
    std::int64_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec == std::errc() && end == text.data() + text.size() && !text.empty())
        out = number;
    else
        out = text;
    return true;
}

bool readValue(SQLHSTMT st, SQLUSMALLINT col, SQLSMALLINT sqlType, Variant& out, bool wideWholeNumber = false) {
    bool isNull = false;
    bool ok = false;
    if (wideWholeNumber && (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC)) {
        ok = readWideWholeNumber(st, col, out, isNull);
        if (isNull)
            out = Null{};
        return ok;
    }
    switch (sqlType) {
    case SQL_BIT: {
        unsigned char v = 0;
        ok = readFixed(st, col, SQL_C_BIT, v, isNull);
        out = v != 0;
        break;
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
        std::int64_t v = 0;
        ok = readFixed(st, col, SQL_C_SBIGINT, v, isNull);
        out = v;
        break;
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
        double v = 0;
        ok = readFixed(st, col, SQL_C_DOUBLE, v, isNull);
        out = v;
        break;
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE: {
        SQL_TIMESTAMP_STRUCT v{};
        ok = readFixed(st, col, SQL_C_TYPE_TIMESTAMP, v, isNull);
        out = fromTimestamp(v);
        break;
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
        std::basic_string<unsigned char> v;
        ok = readLong(st, col, SQL_C_BINARY, v, isNull);
        out = Bytes(v.begin(), v.end());
        break;
    }
    default: {
        std::basic_string<SQLWCHAR> v;
        ok = readLong(st, col, SQL_C_WCHAR, v, isNull);
        out = utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(v.data()), v.size()));
        break;
    }
    }
    if (isNull)
        out = Null{};
    return ok;
}

} // namespace

const OdbcDiag& OdbcError::main() const {
    static const OdbcDiag none{"HY000", 0, "Unknown error"};
    for (const auto& r : records)
        if (r.sqlState.rfind("01", 0) != 0)
            return r;
    return records.empty() ? none : records.front();
}

std::string OdbcError::text() const {
    return main().text;
}

bool OdbcError::isServerError() const {
    const auto& m = main();
    // A message number from the server; driver-side failures carry none, and the 08 class is a
    // broken or refused connection.
    return m.nativeError != 0 && m.sqlState.rfind("08", 0) != 0 && m.sqlState.rfind("HY", 0) != 0;
}

bool OdbcError::isTimeout() const {
    const auto& s = main().sqlState;
    return s == "HYT00" || s == "HYT01" || s == "HY008";
}

OdbcSession::~OdbcSession() {
    disconnect();
}

bool OdbcSession::connect(const std::string& connectionString, int loginTimeoutSeconds, std::string secret) {
    disconnect();
    secret_ = std::move(secret);
    lastError_ = {};
    if (statementsCancelled()) {
        failCancelled();
        return false;
    }
    const SQLHENV env = environment();
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (env == SQL_NULL_HENV || !SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        failWith("HY001", "[ODBC]Cannot allocate a connection handle");
        return false;
    }
    // Without a login timeout the driver may wait forever for an unreachable server.
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(loginTimeoutSeconds)), 0);
    std::u16string text = utf8ToUtf16(connectionString);
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, wide(text), SQLSMALLINT(text.size()), nullptr, 0, &outLength,
                                           SQL_DRIVER_NOPROMPT);
    common::wipe(text);
    if (!SQL_SUCCEEDED(rc)) {
        fail(SQL_HANDLE_DBC, dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        common::wipe(secret_);
        return false;
    }
    dbc_ = dbc;
    return true;
}

void OdbcSession::disconnect() {
    common::wipe(secret_);
    if (!dbc_)
        return;
    // Leaving without a commit undoes the transaction, and the driver refuses to disconnect
    // with one open.
    if (inTransaction_)
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    inTransaction_ = false;
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    dbc_ = nullptr;
}

void* OdbcSession::newStatement(int timeoutSeconds) {
    lastError_ = {};
    if (!dbc_) {
        failWith("08003", "[ODBC]Operation is not allowed when the object is closed.");
        return nullptr;
    }
    if (statementsCancelled()) {
        failCancelled();
        return nullptr;
    }
    SQLHSTMT st = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st))) {
        fail(SQL_HANDLE_DBC, dbc_);
        return nullptr;
    }
    SQLSetStmtAttr(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(timeoutSeconds)),
                   0);
    return st;
}

bool OdbcSession::execute(std::string_view sql, int timeoutSeconds, std::int64_t& affected) {
    affected = -1;
    Statement st(newStatement(timeoutSeconds));
    if (!st)
        return false;
    const RunningStatement running(st.get());
    if (statementsCancelled())
        return failCancelled();
    std::u16string text = utf8ToUtf16(sql);
    // SQL_NO_DATA: a statement that gave no result at all, which is a success.
    for (SQLRETURN rc = SQLExecDirectW(st.get(), wide(text), SQLINTEGER(text.size())); rc != SQL_NO_DATA;
         rc = SQLMoreResults(st.get())) {
        if (!SQL_SUCCEEDED(rc))
            return fail(SQL_HANDLE_STMT, st.get());
        SQLLEN count = -1;
        if (SQL_SUCCEEDED(SQLRowCount(st.get(), &count)) && count >= 0)
            affected = std::max<std::int64_t>(affected, 0) + count;
    }
    return true;
}

bool OdbcSession::query(std::string_view sql, int timeoutSeconds, ResultTable& table) {
    table = {};
    Statement st(newStatement(timeoutSeconds));
    if (!st)
        return false;
    const RunningStatement running(st.get());
    if (statementsCancelled())
        return failCancelled();
    std::u16string text = utf8ToUtf16(sql);
    SQLSMALLINT columnCount = 0;
    SQLRETURN rc = SQLExecDirectW(st.get(), wide(text), SQLINTEGER(text.size()));
    // Skip the results without columns (row counts of statements before the query).
    while (true) {
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc) || !SQL_SUCCEEDED(SQLNumResultCols(st.get(), &columnCount)))
            return fail(SQL_HANDLE_STMT, st.get());
        if (columnCount > 0)
            break;
        rc = SQLMoreResults(st.get());
    }
    std::vector<SQLSMALLINT> types(static_cast<std::size_t>(columnCount));
    std::vector<bool> wideWhole(static_cast<std::size_t>(columnCount)); // more than 15 digits, no decimals
    for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columnCount); ++c) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, decimals = 0, nullable = 0;
        SQLULEN size = 0;
        if (!SQL_SUCCEEDED(SQLDescribeColW(st.get(), c, name, SQLSMALLINT(std::size(name)), &nameLength, &types[c - 1],
                                           &size, &decimals, &nullable)))
            return fail(SQL_HANDLE_STMT, st.get());
        wideWhole[c - 1] = decimals == 0 && size > 15;
        const auto length = std::min<std::size_t>(std::size_t(nameLength), std::size(name) - 1);
        table.columns.push_back(utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(name), length)));
    }
    for (rc = SQLFetch(st.get()); rc != SQL_NO_DATA; rc = SQLFetch(st.get())) {
        if (!SQL_SUCCEEDED(rc))
            return fail(SQL_HANDLE_STMT, st.get());
        auto& row = table.rows.emplace_back(std::size_t(columnCount));
        for (SQLUSMALLINT c = 1; c <= SQLUSMALLINT(columnCount); ++c)
            if (!readValue(st.get(), c, types[c - 1], row[c - 1], wideWhole[c - 1]))
                return fail(SQL_HANDLE_STMT, st.get());
    }
    // Later results of the batch are read and dropped, as a recordset shows only its first; a
    // statement among them that failed fails the whole batch.
    for (;;) {
        rc = SQLMoreResults(st.get());
        if (rc == SQL_NO_DATA)
            return true;
        if (!SQL_SUCCEEDED(rc))
            return fail(SQL_HANDLE_STMT, st.get());
    }
}

bool OdbcSession::beginTransaction() {
    lastError_ = {};
    if (!dbc_) {
        failWith("08003", "[ODBC]Operation is not allowed when the object is closed.");
        return false;
    }
    if (inTransaction_) {
        failWith("25000", "[ODBC]A transaction is already active.");
        return false;
    }
    if (!SQL_SUCCEEDED(
            SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)))
        return fail(SQL_HANDLE_DBC, dbc_);
    inTransaction_ = true;
    return true;
}

bool OdbcSession::endTransaction(bool commit) {
    lastError_ = {};
    if (!dbc_ || !inTransaction_) {
        failWith("25000", "[ODBC]No transaction is active.");
        return false;
    }
    bool ok = SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK));
    if (!ok) {
        fail(SQL_HANDLE_DBC, dbc_);
        // Switching autocommit back on would commit what is left: undo it first.
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    }
    inTransaction_ = false;
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    return ok;
}

bool OdbcSession::fail(short handleType, void* handle) {
    lastError_.records = readDiagnostics(handleType, handle, secret_);
    if (lastError_.records.empty())
        lastError_.records.push_back({"HY000", 0, "[ODBC]The driver reported a failure without a message."});
    return false;
}

bool OdbcSession::failCancelled() {
    failWith("HY008", "[ODBC]Operation canceled");
    return false;
}

void OdbcSession::failWith(std::string sqlState, std::string text) {
    lastError_.records = {{std::move(sqlState), 0, std::move(text)}};
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = 0;
        const std::size_t n = platform::utf8::decode(s, i, cp);
        if (n == 0) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += n;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

} // namespace data
