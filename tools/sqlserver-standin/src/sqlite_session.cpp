#include "sqlite_session.h"

#include "collation.h"
#include "column_types.h"
#include "database_state.h"
#include "datetime.h"
#include "server_functions.h"
#include "sqlite_errors.h"
#include "utf.h"

#include <sqlite3.h>
#include <thread>

namespace standin {
namespace {

constexpr auto kLockPoll = std::chrono::milliseconds(5);
constexpr std::size_t kMaxResultBytes = 256u << 20; // a result set is held whole before it is sent

// DB_NAME(): the connection's current database.
void dbNameFunction(sqlite3_context* context, int, sqlite3_value**) {
    const auto& name = *static_cast<const std::string*>(sqlite3_user_data(context));
    sqlite3_result_text(context, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
}

void getdateFunction(sqlite3_context* context, int, sqlite3_value**) {
    const std::string now = localNowText();
    sqlite3_result_text(context, now.c_str(), static_cast<int>(now.size()), SQLITE_TRANSIENT);
}

Cell readCell(sqlite3_stmt* stmt, int column, std::size_t& bytes) {
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(stmt, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, column);
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        bytes += size;
        return std::string(text, size);
    }
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        bytes += size;
        return Blob{std::string(data == nullptr ? "" : data, size)};
    }
    default:
        return std::monostate{};
    }
}

std::uint16_t commandCode(StatementKind kind) {
    switch (kind) {
    case StatementKind::Query:
        return kCmdSelect;
    case StatementKind::Insert:
        return kCmdInsert;
    case StatementKind::Update:
        return kCmdUpdate;
    case StatementKind::Delete:
        return kCmdDelete;
    case StatementKind::Other:
        break;
    }
    return 0;
}

struct StatementGuard {
    sqlite3_stmt* stmt = nullptr;
    ~StatementGuard() { sqlite3_finalize(stmt); }
};

std::string quoted(const std::string& text, char quote) {
    std::string out(1, quote);
    for (char c : text) {
        out += c;
        if (c == quote) {
            out += quote;
        }
    }
    return out + quote;
}

// Rows of a query on this connection, each cell as text ("" for NULL).
std::vector<std::vector<std::string>> textRows(sqlite3* db, const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    StatementGuard guard;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &guard.stmt, nullptr) != SQLITE_OK) {
        return rows;
    }
    while (sqlite3_step(guard.stmt) == SQLITE_ROW) {
        std::vector<std::string> row;
        for (int c = 0; c < sqlite3_column_count(guard.stmt); ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(guard.stmt, c));
            row.emplace_back(text != nullptr ? text : "");
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool changesSchema(const std::string& sql) {
    std::size_t start = sql.find_first_not_of(" \t\r\n");
    const auto starts_with = [&](std::string_view word) {
        return start != std::string::npos && iequals(std::string_view(sql).substr(start, word.size()), word);
    };
    return starts_with("CREATE") || starts_with("ALTER") || starts_with("DROP");
}

} // namespace

SqliteSession::SqliteSession(const Catalog& catalog, const std::string& database) : catalog_(catalog) {
    const auto canonical = catalog_.find(database);
    if (!canonical) {
        throw SqlError(4060, "Cannot open database \"" + database + "\" requested by the login. The login failed.");
    }
    open(*canonical);
}

SqliteSession::~SqliteSession() {
    close();
}

void SqliteSession::open(const std::string& canonicalName) {
    refuseWhileRestoring(catalog_, canonicalName);
    sqlite3* db = nullptr;
    const std::string file = catalog_.fileOf(canonicalName).string();
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string why = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
        sqlite3_close(db);
        throw SqlError(4060, "Cannot open database \"" + canonicalName + "\": " + why);
    }
    sqlite3_busy_handler(db, waitForLock, this);
    sqlite3_create_function(db, "getdate", 0, SQLITE_UTF8, nullptr, getdateFunction, nullptr, nullptr);
    sqlite3_create_function(db, "db_name", 0, SQLITE_UTF8, &database_, dbNameFunction, nullptr, nullptr);
    registerSqlFunctions(db, &functions_);
    registerServerFunctions(db, &catalog_);
    registerCollations(db);
    const std::string catalogTable = "PRAGMA temp_store = MEMORY;"
                                     "CREATE TEMP TABLE sysdatabases (name NVARCHAR(128) COLLATE \"" +
                                     catalog_.serverCollation().name() + "\", dbid INT)";
    sqlite3_exec(db, catalogTable.c_str(), nullptr, nullptr, nullptr);
    close();
    std::lock_guard lock(handleMutex_);
    db_ = db;
    database_ = canonicalName;
    collation_ = catalog_.collationOf(canonicalName);
    functions_.collation = collation_;
    installWriteChecks("main");
}

std::string SqliteSession::columnCollation(const std::string& schema, const std::string& table,
                                           const std::string& column) const {
    const char* type = nullptr;
    const char* collation = nullptr;
    if (sqlite3_table_column_metadata(db_, schema.c_str(), table.c_str(), column.c_str(), &type, &collation, nullptr,
                                      nullptr, nullptr) == SQLITE_OK &&
        collation != nullptr && findCollation(collation)) {
        return collation;
    }
    return collation_.name();
}

void SqliteSession::installWriteChecks(const std::string& schema) {
    const std::string tables = "SELECT name FROM " + quoted(schema, '"') +
                               ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";
    std::string sql;
    for (const auto& table : textRows(db_, tables)) {
        std::string checks;
        for (const auto& column : textRows(db_, "SELECT name, type FROM pragma_table_info(" + quoted(table[0], '\'') +
                                                    ", " + quoted(schema, '\'') + ")")) {
            checks += (checks.empty() ? "SELECT " : ", ") + std::string("standin_store(NEW.") + quoted(column[0], '"') +
                      ", " + quoted(column[1], '\'') + ", " +
                      quoted(columnCollation(schema, table[0], column[0]), '\'') + ")";
        }
        for (const char* event : {"INSERT", "UPDATE"}) {
            const std::string trigger = quoted("standin " + std::string(event) + " " + schema + "." + table[0], '"');
            sql += "DROP TRIGGER IF EXISTS temp." + trigger + ";";
            if (!checks.empty()) {
                sql += "CREATE TEMP TRIGGER " + trigger + " BEFORE " + event + " ON " + quoted(schema, '"') + "." +
                       quoted(table[0], '"') + " BEGIN " + checks + "; END;";
            }
        }
    }
    if (!sql.empty()) {
        executePlain(sql.c_str());
    }
}

void SqliteSession::installAllWriteChecks() {
    installWriteChecks("main");
    for (const auto& [name, schema] : attached_) {
        installWriteChecks(schema);
    }
}

void SqliteSession::close() {
    std::lock_guard lock(handleMutex_);
    sqlite3_close_v2(db_);
    db_ = nullptr;
    attached_.clear();
}

void SqliteSession::use(const std::string& database) {
    const auto canonical = catalog_.find(database);
    if (!canonical) {
        throw SqlError(911,
                       "Database '" + database + "' does not exist. Make sure that the name is entered correctly.");
    }
    if (inTransaction()) {
        throw SqlError(226, "USE statement not allowed within a transaction on this server.");
    }
    if (*canonical != database_) {
        open(*canonical);
    }
}

bool SqliteSession::inTransaction() const {
    return sqlite3_get_autocommit(db_) == 0;
}

void SqliteSession::interrupt() {
    std::lock_guard lock(handleMutex_);
    if (db_ != nullptr) {
        sqlite3_interrupt(db_);
    }
}

// SQLite calls this while another connection holds the lock this one needs; 0 gives up. It is
// not called where waiting could deadlock: SQLite fails at once then, as SQL Server picks a victim.
int SqliteSession::waitForLock(void* self, int attempt) {
    auto& session = *static_cast<SqliteSession*>(self);
    const auto now = std::chrono::steady_clock::now();
    if (attempt == 0) {
        session.waitStart_ = now;
    }
    if (session.cancelled_ && session.cancelled_()) {
        return 0;
    }
    if (session.lockTimeout_.count() >= 0 && now - session.waitStart_ >= session.lockTimeout_) {
        session.lockTimedOut_ = true;
        return 0;
    }
    std::this_thread::sleep_for(kLockPoll);
    return 1;
}

void SqliteSession::fail(int code) {
    if ((code & 0xFF) == SQLITE_INTERRUPT || (cancelled_ && cancelled_())) {
        throw Cancelled();
    }
    if ((code & 0xFF) == SQLITE_BUSY) {
        const bool timedOut = lockTimedOut_;
        lockTimedOut_ = false;
        if (timedOut) {
            throw SqlError(1222, "Lock request time out period exceeded.");
        }
        throw SqlError(ServerMessage{1205,
                                     51,
                                     13,
                                     "Transaction (Process ID " + std::to_string(spid_) +
                                         ") was deadlocked on lock resources with another process and has been "
                                         "chosen as the deadlock victim. Rerun the transaction.",
                                     {},
                                     1});
    }
    if (functions_.pending) {
        ServerMessage message = std::move(*functions_.pending);
        functions_.pending.reset();
        throw SqlError(std::move(message));
    }
    throw SqlError(sqliteFailure(code, sqlite3_errmsg(db_)));
}

void SqliteSession::executePlain(const char* sql) {
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
        fail(rc);
    }
}

std::string SqliteSession::schemaFor(const std::string& database) {
    const auto canonical = catalog_.find(database);
    if (!canonical) {
        throw SqlError(911,
                       "Database '" + database + "' does not exist. Make sure that the name is entered correctly.");
    }
    if (*canonical == database_) {
        return "main";
    }
    const std::string key = asciiLower(*canonical);
    if (const auto it = attached_.find(key); it != attached_.end()) {
        return it->second;
    }
    refuseWhileRestoring(catalog_, *canonical);
    StatementGuard attach;
    if (sqlite3_prepare_v2(db_, "ATTACH DATABASE ? AS ?", -1, &attach.stmt, nullptr) != SQLITE_OK) {
        fail(sqlite3_errcode(db_));
    }
    const std::string file = catalog_.fileOf(*canonical).string();
    sqlite3_bind_text(attach.stmt, 1, file.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(attach.stmt, 2, canonical->c_str(), -1, SQLITE_TRANSIENT);
    if (const int rc = sqlite3_step(attach.stmt); rc != SQLITE_DONE) {
        fail(rc);
    }
    attached_[key] = *canonical;
    installWriteChecks(*canonical);
    return *canonical;
}

void SqliteSession::refreshSysdatabases() {
    executePlain("DELETE FROM temp.sysdatabases");
    StatementGuard insert;
    if (sqlite3_prepare_v2(db_, "INSERT INTO temp.sysdatabases VALUES (?, ?)", -1, &insert.stmt, nullptr) !=
        SQLITE_OK) {
        fail(sqlite3_errcode(db_));
    }
    for (const auto& [name, id] : catalog_.namesWithIds()) {
        sqlite3_bind_text(insert.stmt, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert.stmt, 2, id);
        if (const int rc = sqlite3_step(insert.stmt); rc != SQLITE_DONE) {
            fail(rc);
        }
        sqlite3_reset(insert.stmt);
    }
}

std::vector<SourceColumn> SqliteSession::resultSources(sqlite3_stmt* stmt, const std::vector<ResultHint>& hints) const {
    const int columns = sqlite3_column_count(stmt);
    const bool hinted = hints.size() == static_cast<std::size_t>(columns);
    std::vector<SourceColumn> sources;
    for (int c = 0; c < columns; ++c) {
        SourceColumn source{sqlite3_column_name(stmt, c), std::nullopt, std::nullopt};
        if (const char* declared = sqlite3_column_decltype(stmt, c)) {
            source.declaredType = declared;
        } else if (hinted) {
            source.declaredType = hints[static_cast<std::size_t>(c)].type;
        }
        if (hinted && hints[static_cast<std::size_t>(c)].unnamed) {
            source.name.clear(); // SQL Server leaves an expression without an alias unnamed
        }
        const char* schema = sqlite3_column_database_name(stmt, c);
        const char* table = sqlite3_column_table_name(stmt, c);
        const char* origin = sqlite3_column_origin_name(stmt, c);
        if (schema != nullptr && table != nullptr && origin != nullptr) {
            source.collation = findCollation(columnCollation(schema, table, origin));
        }
        sources.push_back(std::move(source));
    }
    return sources;
}

std::vector<TableColumn> SqliteSession::columnsOf(const std::string& database, const std::string& table) {
    const std::string schema = database.empty() ? "main" : schemaFor(database);
    std::vector<TableColumn> columns;
    for (const auto& column : textRows(db_, "SELECT name, type FROM pragma_table_info(" + quoted(table, '\'') + ", " +
                                                quoted(schema, '\'') + ")")) {
        columns.push_back({column[0], column[1], columnCollation(schema, table, column[0])});
    }
    return columns;
}

void SqliteSession::execute(const Translation& statement, StatementKind kind, bool nocount, bool plpAllowed,
                            Reply& reply) {
    if (statement.usesSysdatabases) {
        refreshSysdatabases();
    }
    functions_.pending.reset();
    StatementGuard guard;
    const char* tail = nullptr;
    if (const int rc =
            sqlite3_prepare_v2(db_, statement.sql.c_str(), static_cast<int>(statement.sql.size()), &guard.stmt, &tail);
        rc != SQLITE_OK) {
        fail(rc);
    }
    if (guard.stmt == nullptr) {
        reply.add(Done{});
        return;
    }
    const int columns = sqlite3_column_count(guard.stmt);
    std::vector<Row> rows;
    std::size_t bytes = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(guard.stmt)) == SQLITE_ROW) {
        Row row;
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            row.push_back(readCell(guard.stmt, c, bytes));
        }
        rows.push_back(std::move(row));
        if (bytes > kMaxResultBytes) {
            throw SqlError(701, "The result set is larger than this server holds in memory.");
        }
    }
    if (rc != SQLITE_DONE) {
        fail(rc);
    }
    if (changesSchema(statement.sql)) {
        installAllWriteChecks();
    }
    const bool counted = !nocount && (columns > 0 || kind != StatementKind::Other);
    Done done{DoneToken::Done, static_cast<std::uint16_t>(counted ? kDoneCount : 0),
              commandCode(columns > 0 ? StatementKind::Query : kind), 0};
    if (columns > 0) {
        done.count = rows.size();
        reply.add(typeResult(resultSources(guard.stmt, statement.results), std::move(rows), plpAllowed, collation_));
    } else if (kind != StatementKind::Other) {
        done.count = static_cast<std::uint64_t>(sqlite3_changes64(db_));
    }
    reply.add(done);
}

} // namespace standin
