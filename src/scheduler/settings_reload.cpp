#include "scheduler/settings_reload.h"

#include "common/string_utils.h"
#include "scheduler/settings.h"

namespace scheduler {
namespace {

bool load(ProgramContext& ctx, bool tell) {
    // The server's list belongs to the sessions of due ticks: names are compared there.
    const bool result = fnLoadSettings(ctx, {});
    // Taken after the load: the repairs it writes are part of what it loaded.
    ctx.loadedFiles = settingsFilesOnDisk(ctx);
    const std::string_view item = fnFirstBlockingItem(ctx);
    if (tell && !item.empty())
        ctx.ui.notice(std::string(item) + "の設定が正しくありません。", kSettingsNoticeTitle);
    return result;
}

} // namespace

SettingsFileVersions settingsFilesOnDisk(const ProgramContext& ctx) {
    SettingsFileVersions files;
    files.scheduleIni = fnGetScheduleIniPath(ctx);
    files.zuzorIni = fnGetZuzorIniPath(ctx);
    files.schedule = platform::fileVersion(files.scheduleIni);
    files.zuzor = platform::fileVersion(files.zuzorIni);
    return files;
}

std::string_view fnFirstBlockingItem(const ProgramContext& ctx) {
    const Settings& s = ctx.settings;
    SettingsTexts t;
    t.databases = s.databases;
    t.path = s.path;
    // The load keeps a default in place of a bad term; the check judges the term as written.
    t.localPreserveTerm = common::trim(fnGetScheduleIni(ctx, "Schedule", "LocalPreserveTerm"));
    for (std::size_t slot = 0; slot < s.schedules.size(); ++slot) {
        t.days[slot] = s.schedules[slot].dayText;
        t.times[slot] = s.schedules[slot].timeText;
    }
    t.execute = s.copyEnabled ? "1" : "0";
    if (s.copyEnabled) {
        t.dbBackupFileDir = s.dbBackupFileDir;
        t.outSidePreserveTerm = common::trim(fnGetScheduleIni(ctx, "FILE_COPY", "OutSidePreserveTerm"));
        t.keyFileDir = s.keyFileDir;
        t.gijyutuFileDir = s.gijyutuFileDir;
    }
    return checkSettings(t, {NameRule::Listed, TargetRule::Set}).failedItem;
}

bool loadResidentSettings(ProgramContext& ctx) {
    return load(ctx, true);
}

bool reloadChangedSettings(ProgramContext& ctx) {
    const SettingsFileVersions onDisk = settingsFilesOnDisk(ctx);
    const auto& before = ctx.loadedFiles;
    if (before == onDisk)
        return false;
    const bool ownFileChanged =
        !before || before->scheduleIni != onDisk.scheduleIni || before->schedule != onDisk.schedule;
    load(ctx, ownFileChanged);
    return true;
}

} // namespace scheduler
