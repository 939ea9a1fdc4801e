#pragma once

#include "collation.h"
#include "tsql_lexer.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// A column of a table as the translation needs it to write values the way the column keeps them.
struct TableColumn {
    std::string name;
    std::string declaredType;
    std::string collation;
};

// The session values that @@ functions answer with.
struct SessionValues {
    int spid = 0;
    int trancount = 0;
    std::int64_t rowcount = 0;
    int error = 0;
};

struct TranslationContext {
    std::string currentDatabase;
    // The SQLite schema that holds a database named in a multi-part name ("db..table",
    // "db.dbo.table"); attaches it when needed; throws SqlError for an unknown database.
    std::function<std::string(const std::string& database)> schemaFor;
    // The current database's collation: the code page of text literals without N, the collation of
    // new text columns and of comparisons that no column's collation decides.
    Collation collation = defaultCollation();
    // The columns of a table, in order ("" database: the current one); empty when it does not exist.
    std::function<std::vector<TableColumn>(const std::string& database, const std::string& table)> columnsOf;
    SessionValues session;
    bool backupProcedureInstalled = true; // OBJECT_ID finds master..SSP_BackUPDB
    // The collation of an existing database other than the current one (OBJECT_ID's names);
    // when unset, the current database's stands in.
    std::function<Collation(const std::string& database)> collationOf;
};

// What the T-SQL says about a result column that SQLite cannot tell: whether it is an expression
// without an alias (unnamed on SQL Server) and the type the expression has, when known.
struct ResultHint {
    bool unnamed = false;
    std::optional<std::string> type;
};

struct Translation {
    std::string sql;
    bool usesSysdatabases = false;   // the catalogue table must be refreshed first
    std::vector<ResultHint> results; // of a SELECT's columns, in order; empty when not known
};

// Rewrites one T-SQL statement for SQLite: N'…' literals, text literals without N (converted to
// the collation's code page), multi-part names, master..sysdatabases, "dbo." prefixes, TOP n,
// the collation of new text columns, values written by INSERT ... VALUES and UPDATE ... SET (as
// their columns keep them), @@ functions, OBJECT_ID, and the few functions whose names differ
// (LEN, ISNULL, CURRENT_TIMESTAMP).
// GetDate(), LTrim and RTrim need no rewriting: SQLite function names ignore case and the server
// registers getdate(); SQLite reads [bracketed] names as SQL Server does.
Translation translateToSqlite(const std::vector<Token>& tokens, const TranslationContext& context);

} // namespace standin
