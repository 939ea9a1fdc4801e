#pragma once

#include "catalog.h"
#include "reply.h"
#include "sql_functions.h"
#include "tsql_translate.h"

#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

struct sqlite3;

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
    void use(const std::string& database); // throws SqlError 911 or when a transaction is open

    // Runs one translated statement and appends its result set and DONE to the reply.
    void execute(const Translation& statement, StatementKind kind, bool nocount, bool plpAllowed, Reply& reply);
    // BEGIN, COMMIT, ROLLBACK; throws SqlError.
    void executePlain(const char* sql);
    bool inTransaction() const;

    // The schema name under which a database is reachable from this connection.
    std::string schemaFor(const std::string& database);
    // Stops the running statement; safe to call from another thread.
    void interrupt();

private:
    void open(const std::string& canonicalName);
    void close();
    void refreshSysdatabases();
    // Makes every write to the schema's tables check its values against the declared column
    // types (TEMP triggers, so that the database files stay plain SQLite).
    void installWriteChecks(const std::string& schema);
    void installAllWriteChecks();
    [[noreturn]] void fail(int code);

    const Catalog& catalog_;
    mutable std::mutex handleMutex_; // interrupt() from the reader thread against open/close
    sqlite3* db_ = nullptr;
    std::string database_;
    std::map<std::string, std::string> attached_; // ASCII-lower name → schema
    FunctionErrors functionErrors_;
};

} // namespace standin
