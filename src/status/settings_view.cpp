#include "status/settings_view.h"

#include "common/ansi_strings.h"
#include "common/string_utils.h"
#include "common/vbfile.h"
#include "core/settings.h"
#include "core/settings_check.h"

namespace status {
namespace {

using common::trim;

// The pre-run check's order and labels, stricter in two ways: the server is not asked for its
// list, so names are judged only as folder names, and each copy target must be there now.
std::string firstFailure(const SettingsView& s, const std::filesystem::path& ini, const platform::FileSystem& files) {
    const auto read = [&](const char* section, const char* key) { return trim(common::fnReadIni(section, key, ini)); };
    core::SettingsTexts t;
    t.databases = s.databases;
    t.path = s.backupFolder;
    t.localPreserveTerm = read("Schedule", "LocalPreserveTerm");
    for (int k = kFull; k <= kLog; ++k) {
        t.days[k] = s.schedules[k].day;
        t.times[k] = s.schedules[k].time;
    }
    t.execute = s.copying ? "1" : "0";
    if (s.copying) {
        t.dbBackupFileDir = s.externalFolder;
        t.outSidePreserveTerm = read("FILE_COPY", "OutSidePreserveTerm");
        t.keyFileDir = read("FILE_COPY", "KEYFILE_DIR");
        t.gijyutuFileDir = read("FILE_COPY", "GIJYUTUFILE_DIR");
    }
    const core::CheckRules rules{core::NameRule::FolderNames, core::TargetRule::ExistingFolder};
    return std::string(core::checkSettings(t, rules, core::FileSystemFolders(files)).failedItem);
}

} // namespace

SettingsView readSettings(const std::filesystem::path& ini, const platform::FileSystem& files) {
    const auto read = [&](const char* section, const char* key) { return trim(common::fnReadIni(section, key, ini)); };
    SettingsView s;
    if (const std::string db = read("Schedule", "Db"); !db.empty())
        common::fnSplitToArray(db, "\t", s.databases);
    s.backupFolder = read("Schedule", "Path");
    const char* const sections[] = {"ScheduleAll", "ScheduleDiff", "ScheduleLOG"};
    for (int k = kFull; k <= kLog; ++k) {
        s.schedules[k] = {read(sections[k], "Day"), read(sections[k], "Time")};
        s.scheduled[k] = core::isValidDay(s.schedules[k].day) && core::isValidTime(s.schedules[k].time);
    }
    s.copying = read("FILE_COPY", "EXECUTE") != "0";
    s.externalFolder = read("FILE_COPY", "DBBACKUPFILE_DIR");
    s.backupStart = read("BACKUPTIME", "START");
    s.backupEnd = read("BACKUPTIME", "END");
    s.failedItem = firstFailure(s, ini, files);
    return s;
}

} // namespace status
