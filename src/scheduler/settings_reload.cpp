#include "scheduler/settings_reload.h"

#include "common/string_utils.h"
#include "scheduler/settings.h"

namespace scheduler {
namespace {

// The check passes an empty term (it writes the default) and one of at most three digits.
bool termPasses(const ProgramContext& ctx, std::string_view section, std::string_view key) {
    const std::string term = common::trim(fnGetScheduleIni(ctx, section, key));
    return term.empty() || (term.size() <= 3 && common::isDigits(term));
}

bool isSetFolder(const std::string& folder) {
    return !folder.empty() && !isRootFolder(folder);
}

bool load(ProgramContext& ctx, bool tell) {
    const bool result = fnLoadSettings(ctx);
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
    if (s.databases.empty())
        return "バックアップDB名";
    if (s.path.empty() || !isUsableLocalFolder(s.path))
        return "DBバックアップファイル保存先フォルダ";
    if (!termPasses(ctx, "Schedule", "LocalPreserveTerm"))
        return "ローカルバックアップ保持期間";
    const Schedule &all = s.schedule(BackupKind::Full), &diff = s.schedule(BackupKind::Diff),
                   &log = s.schedule(BackupKind::Log);
    if (!isValidDay(all.dayText))
        return "全体バックアップスケジュール(曜日)";
    if (!isValidTime(all.timeText))
        return "全体バックアップスケジュール(時刻)";
    if (isValidDay(diff.dayText) && !isValidTime(diff.timeText))
        return "差分バックアップスケジュール(時刻)";
    if (isValidDay(log.dayText) && !isValidTime(log.timeText))
        return "ログバックアップスケジュール(時刻)";
    if (!s.copyEnabled)
        return "";
    if (!isSetFolder(s.dbBackupFileDir))
        return "DBバックアップファイル　コピー先フォルダ";
    if (!termPasses(ctx, "FILE_COPY", "OutSidePreserveTerm"))
        return "外部バックアップ保持期間";
    if (!isSetFolder(s.keyFileDir))
        return "Sabrelund証明書フォルダ　コピー先フォルダ";
    if (!isSetFolder(s.gijyutuFileDir))
        return "Sabrelund技術資料フォルダ　コピー先フォルダ";
    return "";
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
