#pragma once
// The settings as the health check sees them: read through the program's own typed load, so that
// both judge the same values, but without a server, a lock or a write. The first item the check
// before a run would refuse is named as that check names it.

#include "core/settings_values.h"
#include "platform/filesystem.h"

#include <filesystem>
#include <string>

namespace status {

struct SettingsView {
    bool scheduleIniFound = false; // MSDE_DBTOOL.INI
    bool zuzorIniFound = false;    // ZUZOR.INI
    std::string serverName;        // ZUZOR.INI [DATABASE] SERVER_NAME
    std::string loginUser;         // MSDE_DBTOOL.INI [(local)] USER_NAME
    core::Settings settings;
    std::string backupStart, backupEnd; // [BACKUPTIME]
    // The label of the first item that fails the check, as its message names it; "" when none.
    std::string failedItem;
};

SettingsView readSettings(const std::filesystem::path& configDir, const platform::FileSystem& files);

} // namespace status
