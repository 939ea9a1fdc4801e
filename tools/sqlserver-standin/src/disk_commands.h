#pragma once

#include "cancel_signal.h"
#include "catalog.h"
#include "reply.h"
#include "tsql_lexer.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace standin {

// The statements that work on whole databases and their backup files: BACKUP DATABASE/LOG,
// RESTORE DATABASE/LOG/HEADERONLY/FILELISTONLY/VERIFYONLY, DBCC CHECKDB and
// ALTER DATABASE … SET RECOVERY.
struct DiskCommandContext {
    Catalog& catalog;
    const std::string& sessionDatabase;
    bool inTransaction = false;
    // --backup-delay: BACKUP and RESTORE DATABASE/LOG wait this long first; a cancel ends the wait.
    std::chrono::milliseconds delay{0};
    CancelSignal* cancel = nullptr;
};

bool isDiskCommand(const std::vector<Token>& words);
// Runs the statement (words without blanks); throws SqlError as SQL Server refuses it.
void runDiskCommand(const std::vector<Token>& words, const DiskCommandContext& context, Reply& reply);

// The statement's tokens with "sys.databases" (also "master.sys.databases") replaced by the name
// of a temporary table, or nullopt when the statement does not read it.
std::optional<std::vector<Token>> withSysDatabasesTable(const std::vector<Token>& tokens);
// SQL that (re)fills that temporary table from the catalogue.
std::string sysDatabasesFillSql(const Catalog& catalog);

// SERVERPROPERTY(name) on the connection: InstanceDefaultDataPath and InstanceDefaultLogPath
// name the data folder, Collation the server's collation; other properties are NULL.
void registerServerProperty(sqlite3* db, const Catalog& catalog);

// CREATE DATABASE and DROP DATABASE also set up or remove what the server keeps beside the file.
void databaseCreated(const Catalog& catalog, const std::string& name);
void databaseDropped(const Catalog& catalog, const std::string& name);

} // namespace standin
