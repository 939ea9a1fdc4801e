#pragma once
// The newest backup file of each kind of one database in a folder, by the run time stamped in
// its name. An empty file is no backup, and a file stamped after the check was made under a
// wrong clock: it is reported apart and never counts as fresh.

#include "core/settings_values.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace status {

struct BackupFile {
    std::filesystem::path path;
    platform::LocalTime stamp;
    std::uintmax_t size = 0;
};

struct NewestBackups {
    std::array<std::optional<BackupFile>, 3> byKind; // in the order of core::kBackupKinds
    std::optional<BackupFile> future;                // the newest stamped after the check, any kind
    // Why a folder that exists could not be listed; "" when it could (or does not exist).
    std::string error;

    const std::optional<BackupFile>& of(core::BackupKind kind) const { return byKind[core::Settings::slotOf(kind)]; }
};

// Looks in `folder` (the database's own sub-folder) for backups of `database` stamped no later
// than `now`. A missing folder holds no backups.
NewestBackups newestBackups(const platform::FileSystem& files, const std::filesystem::path& folder,
                            std::string_view database, platform::LocalTime now);

} // namespace status
