#pragma once
// MSDE_DBTOOL.INI as the health check sees it: the values it needs, and the first item that
// fails the pre-run check. Read only: unlike the check before a run, nothing is repaired or
// written, and the server's database list is not asked for.

#include "platform/filesystem.h"
#include "status/due_times.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace status {

// The backup kinds in the order of the due-kind slots.
enum Kind { kFull = 0, kDiff = 1, kLog = 2 };
inline constexpr std::array<const char*, 3> kKindCodes = {"INIT", "DIFF", "LOG"};
inline constexpr std::array<const char*, 3> kKindNames = {"full", "differential", "log"};

struct SettingsView {
    std::vector<std::string> databases; // [Schedule] Db
    std::string backupFolder;           // [Schedule] Path
    std::array<Schedule, 3> schedules;
    std::array<bool, 3> scheduled{};    // Day and Time both valid
    bool copying = false;               // [FILE_COPY] EXECUTE counts as "1" unless it is "0"
    std::string externalFolder;         // [FILE_COPY] DBBACKUPFILE_DIR
    std::string backupStart, backupEnd; // [BACKUPTIME]
    // The label of the first item that fails the check, as its message names it; "" when none.
    std::string failedItem;
};

// Reads `iniFile` (a missing file reads as empty values, which fail the check).
SettingsView readSettings(const std::filesystem::path& iniFile, const platform::FileSystem& files);

} // namespace status
