#pragma once
// Which backup files make a database's newest restorable chain, and whether their headers fit
// together. Plain rules, no server and no files: the restore check feeds them what it listed and
// what RESTORE HEADERONLY answered.

#include "core/settings_values.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace restore {

// A file named "<DB>_<yyyymmddhhmmss>_<INIT|DIFF|LOG>.DAT", as the backup run names them.
struct BackupFile {
    std::filesystem::path path;
    core::BackupKind kind = core::BackupKind::Full;
    std::string stamp; // yyyymmddhhmmss, the run time
};

// The backup file of `database` that `file` names, read as retention and the health check read
// backup names (core::parseBackupFileName); nullopt for any other name.
std::optional<BackupFile> parseBackupFileName(std::string_view database, const std::filesystem::path& file);

// The newest full backup, the newest differential backup made after it, and every log backup
// made after the later of the two, in time order. A run makes its full, differential and log
// backups in that order, so a log stamped with the same run time as its base comes after it.
// Empty when there is no full backup.
std::vector<BackupFile> newestChain(std::vector<BackupFile> files);

// What RESTORE HEADERONLY tells about one backup set.
struct SetHeader {
    std::string databaseName;
    int backupType = 0; // 1 full, 5 differential, 2 log
    std::uint64_t firstLsn = 0, lastLsn = 0, checkpointLsn = 0, differentialBaseLsn = 0;
};

// Why a chain cannot be restored: the first file that breaks it, and how.
struct ChainBreak {
    std::size_t index = 0;
    std::string reason;
};

// Log backups that end before the restored base are left out as a restore would skip them;
// `used` receives the indexes of the files that take part, in order.
std::optional<ChainBreak> checkChain(std::string_view database, const std::vector<BackupFile>& files,
                                     const std::vector<SetHeader>& headers, std::vector<std::size_t>& used);

} // namespace restore
