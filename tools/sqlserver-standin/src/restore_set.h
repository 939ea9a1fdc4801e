#pragma once

#include "catalog.h"
#include "reply.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// A RESTORE DATABASE / RESTORE LOG statement, as parsed.
struct RestoreRequest {
    bool log = false; // RESTORE LOG
    std::string database;
    std::optional<std::string> file;                        // none: "RESTORE DATABASE x WITH RECOVERY" ends a sequence
    std::vector<std::pair<std::string, std::string>> moves; // logical name → new physical name
    bool replace = false;
    bool recovery = true; // NORECOVERY leaves the database restoring
};

// Restores one step of a chain and keeps the database RESTORING until a step WITH RECOVERY.
// Throws SqlError as SQL Server refuses: 3201, 3241, 3183, 3135, 3154, 3159, 3117, 3136, 4305,
// 4326, 3234, 5133, 1834, 3257, each followed by 3013.
void restoreDatabase(Catalog& catalog, const RestoreRequest& request, const std::string& sessionDatabase, Reply& reply);

// RESTORE HEADERONLY, FILELISTONLY and VERIFYONLY of a backup file.
ResultSet backupHeaderRows(const std::string& file);
ResultSet backupFileListRows(const std::string& file);
void verifyBackup(const std::string& file, Reply& reply);

} // namespace standin
