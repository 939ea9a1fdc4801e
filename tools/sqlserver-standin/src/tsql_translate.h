#pragma once

#include "tsql_lexer.h"

#include <functional>
#include <string>
#include <vector>

namespace standin {

struct TranslationContext {
    std::string currentDatabase;
    // The SQLite schema that holds a database named in a multi-part name ("db..table",
    // "db.dbo.table"); attaches it when needed; throws SqlError for an unknown database.
    std::function<std::string(const std::string& database)> schemaFor;
    bool backupProcedureInstalled = true; // OBJECT_ID finds master..SSP_BackUPDB
};

struct Translation {
    std::string sql;
    bool usesSysdatabases = false; // the catalogue table must be refreshed first
};

// Rewrites one T-SQL statement for SQLite: N'…' literals, multi-part names, master..sysdatabases,
// "dbo." prefixes, TOP n, OBJECT_ID, and the few functions whose names differ (LEN, ISNULL,
// CURRENT_TIMESTAMP).
// GetDate(), LTrim and RTrim need no rewriting: SQLite function names ignore case and the server
// registers getdate(); SQLite reads [bracketed] names as SQL Server does.
Translation translateToSqlite(const std::vector<Token>& tokens, const TranslationContext& context);

} // namespace standin
