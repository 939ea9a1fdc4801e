#pragma once

#include "cancel_signal.h"
#include "catalog.h"
#include "reply.h"
#include "tsql_lexer.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

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

// CREATE DATABASE (also for --init-sql) and DROP DATABASE: the file and what the server keeps
// beside it. Throw SqlError as Catalog::create and Catalog::drop do.
void createDatabase(Catalog& catalog, const std::string& name, const std::optional<Collation>& collation = {});
void dropDatabase(Catalog& catalog, const std::string& name);

} // namespace standin
