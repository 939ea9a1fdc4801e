#pragma once

#include "catalog.h"
#include "reply.h"

#include <string>
#include <vector>

namespace standin {

inline constexpr const char* kBackupProcedure = "SSP_BackUPDB";

// The arguments of master..SSP_BackUPDB, in call order.
struct BackupCall {
    std::string database;
    std::string file;
    std::string kind;    // INIT, DIFF or LOG
    std::string label;   // with the run time, the backup set's name
    std::string runTime; // "yyyy/MM/dd HH:mm:ss", becomes the file's last-modified time
};

// Does what sql/SSP_BackUPDB.sql does on a real server: checks its arguments, runs BACKUP DATABASE
// (WITH DIFFERENTIAL) or BACKUP LOG into call.file WITH INIT, CHECKSUM, verifies the file, and dates
// it with the run time. Its own refusals are errors 50000 naming the procedure; a failed BACKUP
// sends the statement's errors (3201 and 3013, say) followed by the procedure's 50000.
void runBackup(const Catalog& catalog, const std::vector<std::string>& failing, const BackupCall& call,
               bool inTransaction, Reply& reply);

} // namespace standin
