#pragma once
// The newest backup file of each kind of one database in a folder, by the run time stamped in
// its name: <DB>_<yyyymmddhhmmss>_<INIT|DIFF|LOG>.DAT.

#include "platform/datetime.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace status {

struct BackupFile {
    std::filesystem::path path;
    platform::LocalTime stamp;
};

struct NewestBackups {
    std::array<std::optional<BackupFile>, 3> byKind; // indexed by Kind
    // Why a folder that exists could not be listed; "" when it could (or does not exist).
    std::string error;
};

// Looks in `folder` (the database's own sub-folder) for files of `database`. A missing folder
// holds no backups.
NewestBackups newestBackups(const std::filesystem::path& folder, std::string_view database);

// The stamp of a file name of `database`, and its kind; nullopt for any other name.
std::optional<std::pair<int, platform::LocalTime>> parseBackupName(std::string_view name, std::string_view database);

} // namespace status
