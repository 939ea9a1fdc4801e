#pragma once

#include "backup_file.h"
#include "catalog.h"
#include "reply.h"

#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace standin {

// Backups and restores of one server run one at a time, as they change the databases' chains.
std::mutex& backupRestoreMutex();

// A BACKUP DATABASE / BACKUP LOG statement, as parsed.
struct BackupRequest {
    std::string database;
    std::string file;
    BackupKind kind = BackupKind::Full;
    std::string name;                    // WITH NAME = '…'
    bool overwrite = false;              // WITH INIT or FORMAT
    std::optional<std::time_t> fileTime; // the procedure dates the file with its run time
};

// The statement's name in SQL Server's messages: "BACKUP DATABASE", "RESTORE LOG", …
SqlError terminating(ServerMessage cause, const std::string& statement);
SqlError terminating(std::int32_t number, const std::string& text, const std::string& statement);
ServerMessage info(std::int32_t number, std::string text);

// Writes the backup set (header and an image of the database), keeps the database's LSNs and
// chain, and adds SQL Server's progress messages to `reply`. Throws SqlError as SQL Server refuses:
// 911, 3035, 4208, 4214, 3201 (each followed by 3013).
void backupDatabase(const Catalog& catalog, const BackupRequest& request, Reply& reply);

// A consistent copy of a SQLite database file, taken through the online backup API.
std::string snapshotDatabase(const std::filesystem::path& file);

// Writes through a temporary file in the same folder and a rename; false with errno set.
bool writeFileAtomically(const std::filesystem::path& target, const std::string& bytes);

// "Operating system error 3(The system cannot find the path specified.)" and the like.
std::string operatingSystemError(int error);

} // namespace standin
