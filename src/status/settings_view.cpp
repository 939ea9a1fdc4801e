#include "status/settings_view.h"

#include "common/string_utils.h"
#include "core/context.h"
#include "core/settings.h"
#include "core/settings_check.h"
#include "platform/clock.h"

namespace status {

SettingsView readSettings(const std::filesystem::path& configDir, const platform::FileSystem& files) {
    // The load reads through the services of a program; nothing it is handed here can show or
    // write anything, and the clock is not read.
    platform::ManualClock clock{platform::LocalTime{}};
    platform::SilentUiSink silent;
    const core::ProgramContext ctx(clock, silent, files, configDir);
    const auto read = [&](std::string_view section, std::string_view key) {
        return common::trim(core::fnGetScheduleIni(ctx, section, key));
    };

    SettingsView view;
    view.scheduleIniFound = files.fileExists(core::fnGetScheduleIniPath(ctx));
    view.zuzorIniFound = files.fileExists(core::fnGetZuzorIniPath(ctx));
    view.serverName = common::trim(core::fnGetServerName(ctx));
    view.loginUser = read("(local)", "USER_NAME");
    const core::SettingsTexts texts = core::readSettingsTexts(ctx);
    view.settings = core::settingsFromTexts(texts, core::tempLogTermOf(ctx));
    view.backupStart = read("BACKUPTIME", "START");
    view.backupEnd = read("BACKUPTIME", "END");
    // Without the server's list, names are judged as folder names; a copy target that is not
    // there now is a medium not plugged in, which the check reports apart.
    const core::CheckRules rules{core::NameRule::FolderNames, core::TargetRule::FolderOrAbsent};
    view.failedItem = std::string(core::checkSettings(texts, rules, core::FileSystemFolders(files)).failedItem);
    return view;
}

} // namespace status
