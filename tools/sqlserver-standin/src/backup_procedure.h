#pragma once

#include "catalog.h"

#include <string>
#include <vector>

namespace standin {

inline constexpr const char* kBackupProcedure = "SSP_BackUPDB";

// The arguments of master..SSP_BackUPDB, in call order.
struct BackupCall {
    std::string database;
    std::string file;
    std::string kind;    // INIT, DIFF or LOG
    std::string label;   // kept in the log line only
    std::string runTime; // "yyyy/MM/dd HH:mm:ss", becomes the file's last-modified time
};

// Writes a complete, openable copy of the database (SQLite online backup) to call.file for every
// kind: SQLite has no differential or log backups, and what the tests and the demo check is that
// a file of that name exists, restores, and carries the run time. Throws SqlError (50000, naming
// the procedure) with the reason when the backup cannot be made or `failing` names the database.
void runBackup(const Catalog& catalog, const std::vector<std::string>& failing, const BackupCall& call);

} // namespace standin
