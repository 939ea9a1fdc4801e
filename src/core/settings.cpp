#include "core/settings.h"

#include "common/ansi_strings.h"
#include "common/string_utils.h"
#include "common/vbfile.h"
#include "platform/ascii.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <limits>

namespace core {
namespace {

using common::trim;

bool inRange(std::string_view text, double low, double high) {
    const double v = common::fnVal(text);
    return v >= low && v <= high;
}

// A schedule as loaded: an optional kind whose Day fails its test is not scheduled.
Schedule loadedSchedule(const SettingsTexts& t, BackupKind kind) {
    const std::size_t slot = Settings::slotOf(kind);
    if (kind != BackupKind::Full && !isValidDay(t.days[slot]))
        return scheduleFromTexts("NON", "NON");
    return scheduleFromTexts(t.days[slot], t.times[slot]);
}

// Keys the program writes to record what it did, not settings: [Schedule] Iniflg and [BACKUPTIME].
bool isStateKey(std::string_view section, std::string_view key) {
    return platform::equalsNoCase(section, "BACKUPTIME") ||
           (platform::equalsNoCase(section, "Schedule") && platform::equalsNoCase(key, "Iniflg"));
}

void showCheckError(ProgramContext& ctx, std::string_view label) {
    ctx.ui.messageBox(std::string(label) + "の設定が正しくありません。", "INIファイル内容チェックエラー",
                      platform::MsgIcon::Exclamation);
}

// A term of MSDE_DBTOOL.INI: the load's value, and whether the check would refuse the text.
Term fileTerm(std::string_view key, const std::string& text, double highest, std::string_view fallback) {
    Term term = termFromText(text, highest, fallback);
    term.refused = !termTextPasses(text);
    term.written = std::string(key) + "=" + text;
    return term;
}

std::vector<std::string> splitDatabaseNames(const std::string& text) {
    std::vector<std::string> names;
    if (!text.empty())
        common::fnSplitToArray(text, "\t", names);
    return names;
}

} // namespace

std::filesystem::path fnGetScheduleIniPath(const ProgramContext& ctx) {
    if (ctx.programDir.empty())
        return {};
    return platform::findFileNoCase(ctx.programDir, kScheduleIniName);
}

std::string fnGetScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key) {
    return common::fnReadIni(section, key, fnGetScheduleIniPath(ctx));
}

bool writeScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string_view value,
                      std::optional<SettingsFileVersions>* loaded) {
    const auto file = fnGetScheduleIniPath(ctx);
    const bool keepCurrent = loaded && isStateKey(section, key) && *loaded && (*loaded)->scheduleIni == file &&
                             (*loaded)->schedule == platform::fileVersion(file);
    const bool written = common::VBFILE_WriteINI(ctx.ui, section, key, value, file);
    if (written && keepCurrent)
        (*loaded)->schedule = platform::fileVersion(file);
    return written;
}

std::filesystem::path fnGetZuzorIniPath(const ProgramContext& ctx) {
    if (ctx.programDir.empty())
        return {};
    return platform::findFileNoCase(ctx.programDir, kZuzorIniName);
}

std::string fnGetZuzorIni(const ProgramContext& ctx, std::string_view section, std::string_view key) {
    return common::fnReadIni(section, key, fnGetZuzorIniPath(ctx));
}

void sbSetZuzorIni(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string_view value) {
    common::VBFILE_WriteINI(ctx.ui, section, key, value, fnGetZuzorIniPath(ctx));
}

std::string fnGetServerName(const ProgramContext& ctx) {
    return common::fnCutAtNull(platform::profileRead(fnGetZuzorIniPath(ctx), "DATABASE", "SERVER_NAME", "", 1024));
}

bool isValidDay(std::string_view day) {
    return day.size() <= 3 && common::isDigits(day) && inRange(day, 1, 127);
}

bool isValidTime(std::string_view time) {
    if (time.size() != 5 || time[2] != ':')
        return false;
    const auto hh = time.substr(0, 2), mm = time.substr(3, 2);
    return common::isDigits(hh) && common::isDigits(mm) && inRange(hh, 0, 23) && inRange(mm, 0, 59);
}

std::string readScheduleDb(const ProgramContext& ctx) {
    return platform::profileRead(fnGetScheduleIniPath(ctx), "Schedule", "Db", "",
                                 std::numeric_limits<std::size_t>::max());
}

bool fnCheckDbNames(const ProgramContext& ctx, const std::vector<std::string>& serverDatabases,
                    std::vector<std::string>& names) {
    names = splitDatabaseNames(trim(readScheduleDb(ctx)));
    return databaseNamesPass(names, {NameRule::OnServer, TargetRule::FolderOrAbsent, &serverDatabases});
}

std::string effectiveTempLogTerm(const ProgramContext& ctx) {
    const std::string own = trim(fnGetScheduleIni(ctx, "Schedule", "TEMPLOGTERM"));
    if (inRange(own, 1, 32767))
        return own;
    const std::string product = trim(fnGetZuzorIni(ctx, "ENCNT", "MAILSRLOGTERM"));
    if (inRange(product, 1, 32767))
        return product;
    return "90";
}

Term tempLogTermOf(const ProgramContext& ctx) {
    const std::string own = trim(fnGetScheduleIni(ctx, "Schedule", "TEMPLOGTERM"));
    const std::string text = effectiveTempLogTerm(ctx);
    // A text of the program's own key that is not digits only is a typing error, also where the
    // load falls back to the product's term: the purge does not guess around it.
    const bool ownMistyped = !own.empty() && !common::isDigits(own);
    const std::string& judged = ownMistyped ? own : text;
    Term term = termFromText(text, 32767, "90");
    term.refused = !common::isDigits(judged);
    term.written = (ownMistyped || text == own ? "TEMPLOGTERM=" : "MAILSRLOGTERM=") + judged;
    return term;
}

Settings settingsFromTexts(const SettingsTexts& t, Term tempLogTerm) {
    Settings s;
    s.databases = t.databases; // kept even when a name fails
    s.path = t.path;
    s.localPreserveTerm = fileTerm("LocalPreserveTerm", t.localPreserveTerm, 999, "30");
    for (BackupKind kind : kBackupKinds)
        s.schedule(kind) = loadedSchedule(t, kind);
    s.copyEnabled = t.execute != "0";
    if (s.copyEnabled) {
        s.dbBackupFileDir = t.dbBackupFileDir;
        s.keyFileDir = t.keyFileDir;
        s.gijyutuFileDir = t.gijyutuFileDir;
        s.outSidePreserveTerm = fileTerm("OutSidePreserveTerm", t.outSidePreserveTerm, 999, "60");
    }
    s.tempLogTerm = std::move(tempLogTerm);
    return s;
}

LoadedSettings fnLoadSettings(const ProgramContext& ctx, const std::vector<std::string>& serverDatabases) {
    const SettingsTexts t = readSettingsTexts(ctx);
    Settings s = settingsFromTexts(t, tempLogTermOf(ctx));
    if (t.execute != "0" && t.execute != "1")
        writeScheduleIni(ctx, "FILE_COPY", "EXECUTE", "1");
    // The load's rules are the check's, apart from the terms; unlike the check it goes to the end.
    CheckRules rules{NameRule::OnServer, TargetRule::FolderOrAbsent, &serverDatabases};
    rules.judgeTerms = false;
    const bool ok = checkSettings(t, rules, FileSystemFolders(ctx.files)).failedItem.empty();
    return {std::move(s), ok};
}

Settings peekSettings(const ProgramContext& ctx) {
    return settingsFromTexts(readSettingsTexts(ctx), tempLogTermOf(ctx));
}

SettingsTexts readSettingsTexts(const ProgramContext& ctx) {
    const auto read = [&](std::string_view section, std::string_view key) {
        return trim(fnGetScheduleIni(ctx, section, key));
    };
    SettingsTexts t;
    t.databases = splitDatabaseNames(trim(readScheduleDb(ctx)));
    t.path = read("Schedule", "Path");
    t.localPreserveTerm = read("Schedule", "LocalPreserveTerm");
    const char* const sections[] = {"ScheduleAll", "ScheduleDiff", "ScheduleLOG"};
    for (std::size_t slot = 0; slot < 3; ++slot) {
        t.days[slot] = read(sections[slot], "Day");
        t.times[slot] = read(sections[slot], "Time");
    }
    t.execute = read("FILE_COPY", "EXECUTE");
    t.dbBackupFileDir = read("FILE_COPY", "DBBACKUPFILE_DIR");
    t.outSidePreserveTerm = read("FILE_COPY", "OutSidePreserveTerm");
    t.keyFileDir = read("FILE_COPY", "KEYFILE_DIR");
    t.gijyutuFileDir = read("FILE_COPY", "GIJYUTUFILE_DIR");
    return t;
}

bool fnCheckIniContents(ProgramContext& ctx, const std::vector<std::string>& serverDatabases) {
    const SettingsCheck check =
        checkSettings(readSettingsTexts(ctx), {NameRule::OnServer, TargetRule::FolderOrAbsent, &serverDatabases},
                      FileSystemFolders(ctx.files));
    for (const IniRepair& repair : check.repairs)
        writeScheduleIni(ctx, repair.section, repair.key, repair.value);
    if (check.failedItem.empty())
        return true;
    showCheckError(ctx, check.failedItem);
    return false;
}

} // namespace core
