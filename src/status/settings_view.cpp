#include "status/settings_view.h"

#include "common/ansi_strings.h"
#include "common/string_utils.h"
#include "common/vbfile.h"
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "scheduler/settings.h"

#include <algorithm>

namespace status {
namespace {

using common::trim;

// What the pre-run check's term rule accepts; an empty term would be repaired to its default.
bool termPasses(const std::string& value) {
    return value.empty() || (value.size() <= 3 && common::isDigits(value));
}

bool copyFolderPasses(const std::string& value) {
    return !value.empty() && platform::LocalFileSystem().folderExists(value) && !scheduler::isRootFolder(value);
}

bool databaseNamesPass(const std::vector<std::string>& names) {
    return !names.empty() && std::all_of(names.begin(), names.end(), [](const std::string& n) {
        return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos;
    });
}

// The check's order: the first failing item is the one its message box would name.
std::string firstFailure(const SettingsView& s, const std::filesystem::path& ini) {
    const auto read = [&](const char* section, const char* key) { return trim(common::fnReadIni(section, key, ini)); };
    if (!databaseNamesPass(s.databases))
        return "バックアップDB名";
    if (s.backupFolder.empty() || !scheduler::isUsableLocalFolder(s.backupFolder))
        return "DBバックアップファイル保存先フォルダ";
    if (!termPasses(read("Schedule", "LocalPreserveTerm")))
        return "ローカルバックアップ保持期間";
    if (!scheduler::isValidDay(s.schedules[kFull].day))
        return "全体バックアップスケジュール(曜日)";
    if (!scheduler::isValidTime(s.schedules[kFull].time))
        return "全体バックアップスケジュール(時刻)";
    if (scheduler::isValidDay(s.schedules[kDiff].day) && !scheduler::isValidTime(s.schedules[kDiff].time))
        return "差分バックアップスケジュール(時刻)";
    if (scheduler::isValidDay(s.schedules[kLog].day) && !scheduler::isValidTime(s.schedules[kLog].time))
        return "ログバックアップスケジュール(時刻)";
    if (!s.copying)
        return "";
    if (!copyFolderPasses(s.externalFolder))
        return "DBバックアップファイル　コピー先フォルダ";
    if (!termPasses(read("FILE_COPY", "OutSidePreserveTerm")))
        return "外部バックアップ保持期間";
    if (!copyFolderPasses(read("FILE_COPY", "KEYFILE_DIR")))
        return "Sabrelund証明書フォルダ　コピー先フォルダ";
    if (!copyFolderPasses(read("FILE_COPY", "GIJYUTUFILE_DIR")))
        return "Sabrelund技術資料フォルダ　コピー先フォルダ";
    return "";
}

} // namespace

SettingsView readSettings(const std::filesystem::path& ini) {
    const auto read = [&](const char* section, const char* key) { return trim(common::fnReadIni(section, key, ini)); };
    SettingsView s;
    if (const std::string db = read("Schedule", "Db"); !db.empty())
        common::fnSplitToArray(db, "\t", s.databases);
    s.backupFolder = read("Schedule", "Path");
    const char* const sections[] = {"ScheduleAll", "ScheduleDiff", "ScheduleLOG"};
    for (int k = kFull; k <= kLog; ++k) {
        s.schedules[k] = {read(sections[k], "Day"), read(sections[k], "Time")};
        s.scheduled[k] = scheduler::isValidDay(s.schedules[k].day) && scheduler::isValidTime(s.schedules[k].time);
    }
    s.copying = read("FILE_COPY", "EXECUTE") != "0";
    s.externalFolder = read("FILE_COPY", "DBBACKUPFILE_DIR");
    s.backupStart = read("BACKUPTIME", "START");
    s.backupEnd = read("BACKUPTIME", "END");
    s.failedItem = firstFailure(s, ini);
    return s;
}

} // namespace status
