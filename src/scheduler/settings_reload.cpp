#include "scheduler/settings_reload.h"

#include "core/settings.h"

namespace scheduler {

core::SettingsFileVersions settingsFilesOnDisk(const core::ProgramContext& ctx) {
    core::SettingsFileVersions files;
    files.scheduleIni = core::fnGetScheduleIniPath(ctx);
    files.zuzorIni = core::fnGetZuzorIniPath(ctx);
    files.schedule = platform::fileVersion(files.scheduleIni);
    files.zuzor = platform::fileVersion(files.zuzorIni);
    return files;
}

std::string_view fnFirstBlockingItem(const core::ProgramContext& ctx) {
    // The texts the load has just read (with its repairs written); only the check judges terms.
    return core::checkSettings(core::readSettingsTexts(ctx), {core::NameRule::Listed, core::TargetRule::Set},
                               core::FileSystemFolders(ctx.files))
        .failedItem;
}

bool ResidentSettings::loadAndTell(const core::ProgramContext& ctx, bool tell) {
    // The server's list belongs to the sessions of due ticks: names are compared there.
    core::LoadedSettings loaded = core::fnLoadSettings(ctx, {});
    settings_ = std::move(loaded.settings);
    // Taken after the load: the repairs it writes are part of what it loaded.
    loadedFiles_ = settingsFilesOnDisk(ctx);
    const std::string_view item = fnFirstBlockingItem(ctx);
    if (tell && !item.empty())
        ctx.ui.notice(std::string(item) + "の設定が正しくありません。", kSettingsNoticeTitle);
    return loaded.ok;
}

bool ResidentSettings::load(const core::ProgramContext& ctx) {
    return loadAndTell(ctx, true);
}

bool ResidentSettings::reloadIfChanged(const core::ProgramContext& ctx) {
    const core::SettingsFileVersions onDisk = settingsFilesOnDisk(ctx);
    const auto& before = loadedFiles_;
    if (before == onDisk)
        return false;
    const bool ownFileChanged =
        !before || before->scheduleIni != onDisk.scheduleIni || before->schedule != onDisk.schedule;
    loadAndTell(ctx, ownFileChanged);
    return true;
}

bool ResidentSettings::writeStateKey(const core::ProgramContext& ctx, std::string_view section, std::string_view key,
                                     std::string_view value) {
    return core::writeScheduleIni(ctx, section, key, value, &loadedFiles_);
}

} // namespace scheduler
