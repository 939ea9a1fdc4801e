#pragma once
// The names of the backup files a run writes: <DB>_<yyyymmddhhmmss>_<INIT|DIFF|LOG>.DAT, after the
// database as the run names it (the system databases in capitals), the run time and the kind.
// Retention and the health check read the database, the run and the kind back from a name.

#include "core/settings_values.h"
#include "platform/datetime.h"

#include <optional>
#include <string>
#include <string_view>

namespace core {

struct BackupName {
    std::string database;
    platform::LocalTime stamp; // the run time of the run that wrote it
    BackupKind kind;
};

std::string backupFileName(std::string_view database, platform::LocalTime runTime, BackupKind kind);

// The parts of a file name written by backupFileName; nullopt for any other name, also for an
// extension in another case or a stamp that is no valid date-time. A database name may itself
// hold "_": the name is read from its end.
std::optional<BackupName> parseBackupFileName(std::string_view fileName);

} // namespace core
