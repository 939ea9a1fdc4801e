#pragma once

#include "catalog.h"
#include "collation.h"
#include "column_types.h"
#include "reply.h"
#include "sql_functions.h"
#include "tsql_translate.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace standin {

// The running statement was stopped by the client's ATTENTION.
class Cancelled : public std::runtime_error {
public:
    Cancelled() : std::runtime_error("cancelled by the client") {}
};

// How a statement's DONE reports it.
enum class StatementKind { Query, Insert, Update, Delete, Other };

// One client's SQLite connection to its current database, with other databases attached on demand.
class SqliteSession {
public:
    // Throws SqlError 4060 when the database does not exist.
    SqliteSession(const Catalog& catalog, const std::string& database);
    ~SqliteSession();
    SqliteSession(const SqliteSession&) = delete;
    SqliteSession& operator=(const SqliteSession&) = delete;

    const std::string& database() const { return database_; }
    // The collation of the current database: its literals, comparisons and new text columns.
    const Collation& collation() const { return collation_; }
    void use(const std::string& database); // throws SqlError 911 or when a transaction is open

    // Runs one translated statement and appends its result set and DONE to the reply.
    void execute(const Translation& statement, StatementKind kind, bool nocount, bool plpAllowed, Reply& reply);
    // BEGIN, COMMIT, ROLLBACK; throws SqlError.
    void executePlain(const char* sql);
    bool inTransaction() const;

    // The schema name under which a database is reachable from this connection.
    std::string schemaFor(const std::string& database);
    // The columns of a table of the current database ("") or another one; empty when it has none.
    std::vector<TableColumn> columnsOf(const std::string& database, const std::string& table);
    // Stops the running statement; safe to call from another thread.
    void interrupt();
    // SET LOCK_TIMEOUT: how long a statement waits for another connection's lock before 1222;
    // negative waits until the client cancels (SQL Server's default, -1).
    void setLockTimeout(std::chrono::milliseconds timeout) { lockTimeout_ = timeout; }
    // The client's session id (named in a deadlock) and what tells, while a statement waits for a
    // lock, that the client has cancelled.
    void setSession(int spid, std::function<bool()> cancelled) {
        spid_ = spid;
        cancelled_ = std::move(cancelled);
    }

private:
    void open(const std::string& canonicalName);
    void close();
    void refreshSysdatabases();
    // Makes every write to the schema's tables check its values against the declared column
    // types (TEMP triggers, so that the database files stay plain SQLite).
    void installWriteChecks(const std::string& schema);
    void installAllWriteChecks();
    // The name, type and collation of each result column.
    std::vector<SourceColumn> resultSources(sqlite3_stmt* stmt, const std::vector<ResultHint>& hints) const;
    // The collation a column was declared with, or the database's.
    std::string columnCollation(const std::string& schema, const std::string& table, const std::string& column) const;
    [[noreturn]] void fail(int code);
    static int waitForLock(void* self, int attempt);

    const Catalog& catalog_;
    mutable std::mutex handleMutex_; // interrupt() from the reader thread against open/close
    sqlite3* db_ = nullptr;
    std::string database_;
    Collation collation_;
    std::map<std::string, std::string> attached_; // ASCII-lower name → schema
    FunctionState functions_;
    std::chrono::milliseconds lockTimeout_{-1};
    int spid_ = 0;
    std::function<bool()> cancelled_;
    std::chrono::steady_clock::time_point waitStart_;
    bool lockTimedOut_ = false; // the last SQLITE_BUSY came from the lock timeout, not a deadlock
};

} // namespace standin
