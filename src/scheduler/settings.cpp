#include "scheduler/settings.h"

#include "common/ansi_strings.h"
#include "common/string_utils.h"
#include "common/vbfile.h"
#include "platform/ascii.h"
#include "platform/drive_type.h"
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "platform/paths.h"
#include "platform/profile.h"

#include <algorithm>
#include <limits>

namespace scheduler {
namespace {

using common::trim;

bool inRange(std::string_view text, double low, double high) {
    const double v = common::fnVal(text);
    return v >= low && v <= high;
}

// A database name becomes a folder and file name of its backups; one that would lead out of the
// backup folder ("..", a "/") is refused.
bool isUsableAsFolderName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Reads one schedule; Day failing its test makes it unscheduled for the optional kinds.
struct ScheduleLoad {
    std::string day, time;
    bool ok = true;
};

ScheduleLoad loadSchedule(const ProgramContext& ctx, std::string_view section, bool required) {
    ScheduleLoad s;
    const bool dayOk = fnCheckDay(ctx, section, "Day", s.day);
    const bool timeOk = fnCheckTime(ctx, section, "Time", s.time);
    if (required) {
        s.ok = dayOk && timeOk;
    } else if (!dayOk) {
        s.day = s.time = "NON";
    } else {
        s.ok = timeOk;
    }
    return s;
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

} // namespace

std::filesystem::path fnGetScheduleIniPath(const ProgramContext& ctx) {
    if (ctx.programDir.empty())
        return {};
    return platform::findFileNoCase(ctx.programDir, kScheduleIniName);
}

std::string fnGetScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key) {
    return common::fnReadIni(section, key, fnGetScheduleIniPath(ctx));
}

bool writeScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key,
                      std::string_view value) {
    const auto file = fnGetScheduleIniPath(ctx);
    auto& loaded = ctx.loadedFiles;
    const bool keepCurrent = isStateKey(section, key) && loaded && loaded->scheduleIni == file &&
                             loaded->schedule == platform::fileVersion(file);
    const bool written = common::VBFILE_WriteINI(ctx.ui, section, key, value, file);
    if (written && keepCurrent)
        loaded->schedule = platform::fileVersion(file);
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

bool fnCheckDbNames(const ProgramContext& ctx, std::vector<std::string>& names) {
    const std::string text = trim(readScheduleDb(ctx));
    names.clear();
    if (text.empty())
        return false;
    common::fnSplitToArray(text, "\t", names);
    const auto& server = ctx.serverDatabases;
    return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
        return isUsableAsFolderName(n) && std::find(server.begin(), server.end(), n) != server.end();
    });
}

bool isRootFolder(std::string_view path) {
    std::error_code ec;
    const auto resolved = std::filesystem::weakly_canonical(std::string(path), ec);
    return !ec && resolved == resolved.root_path() && !resolved.empty();
}

bool isUsableLocalFolder(std::string_view path) {
    return platform::driveTypeOf(path) == platform::DriveType::Fixed &&
           platform::LocalFileSystem().exists(std::string(path)) && !isRootFolder(path);
}

bool fnCheckLocalFolder(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    return !value.empty() && isUsableLocalFolder(value);
}

// A target that is absent right now (a medium not plugged in, a share not mounted) passes: the
// local backups must not depend on it, and the copy stage reports every copy it cannot make.
// Something else of that name, the root or a blank setting still fails.
bool fnCheckCopyFolder(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    const platform::FileSystem& fs = ctx.files;
    return !value.empty() && (fs.folderExists(value) || !fs.exists(value)) && !isRootFolder(value);
}

bool fnCheckTerm(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value,
                 std::string_view defaultValue) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    if (value.empty()) {
        writeScheduleIni(ctx, section, key, defaultValue);
        value = std::string(defaultValue);
        return true;
    }
    return value.size() <= 3 && common::isDigits(value);
}

bool fnCheckExecute(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    if (value != "0" && value != "1") {
        value = "1";
        writeScheduleIni(ctx, section, key, value);
    }
    return true;
}

bool fnCheckDay(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    return isValidDay(value);
}

bool fnCheckTime(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string& value) {
    value = trim(fnGetScheduleIni(ctx, section, key));
    return isValidTime(value);
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

bool fnLoadSettings(ProgramContext& ctx) {
    ctx.settings = Settings{};
    Settings s;
    bool ok = fnCheckDbNames(ctx, s.databases);
    ok = fnCheckLocalFolder(ctx, "Schedule", "Path", s.path) && ok;

    s.localPreserveTerm = trim(fnGetScheduleIni(ctx, "Schedule", "LocalPreserveTerm"));
    if (!inRange(s.localPreserveTerm, 1, 999))
        s.localPreserveTerm = "30";

    const ScheduleLoad all = loadSchedule(ctx, "ScheduleAll", true);
    const ScheduleLoad diff = loadSchedule(ctx, "ScheduleDiff", false);
    const ScheduleLoad log = loadSchedule(ctx, "ScheduleLOG", false);
    s.allDay = all.day, s.allTime = all.time;
    s.diffDay = diff.day, s.diffTime = diff.time;
    s.logDay = log.day, s.logTime = log.time;
    ok = all.ok && diff.ok && log.ok && ok;

    fnCheckExecute(ctx, "FILE_COPY", "EXECUTE", s.execute);
    if (s.execute == "1") {
        ok = fnCheckCopyFolder(ctx, "FILE_COPY", "DBBACKUPFILE_DIR", s.dbBackupFileDir) && ok;
        ok = fnCheckCopyFolder(ctx, "FILE_COPY", "KEYFILE_DIR", s.keyFileDir) && ok;
        ok = fnCheckCopyFolder(ctx, "FILE_COPY", "GIJYUTUFILE_DIR", s.gijyutuFileDir) && ok;
        s.outSidePreserveTerm = trim(fnGetScheduleIni(ctx, "FILE_COPY", "OutSidePreserveTerm"));
        if (!inRange(s.outSidePreserveTerm, 1, 999))
            s.outSidePreserveTerm = "60";
    }
    s.tempLogTerm = effectiveTempLogTerm(ctx);
    ctx.settings = std::move(s);
    return ok;
}

bool fnCheckIniContents(ProgramContext& ctx) {
    std::string value;
    std::vector<std::string> names;
    const auto fail = [&](std::string_view label) {
        showCheckError(ctx, label);
        return false;
    };
    if (!fnCheckDbNames(ctx, names))
        return fail("バックアップDB名");
    if (!fnCheckLocalFolder(ctx, "Schedule", "Path", value))
        return fail("DBバックアップファイル保存先フォルダ");
    if (!fnCheckTerm(ctx, "Schedule", "LocalPreserveTerm", value, "30"))
        return fail("ローカルバックアップ保持期間");
    if (!fnCheckDay(ctx, "ScheduleAll", "Day", value))
        return fail("全体バックアップスケジュール(曜日)");
    if (!fnCheckTime(ctx, "ScheduleAll", "Time", value))
        return fail("全体バックアップスケジュール(時刻)");
    if (fnCheckDay(ctx, "ScheduleDiff", "Day", value) && !fnCheckTime(ctx, "ScheduleDiff", "Time", value))
        return fail("差分バックアップスケジュール(時刻)");
    if (fnCheckDay(ctx, "ScheduleLOG", "Day", value) && !fnCheckTime(ctx, "ScheduleLOG", "Time", value))
        return fail("ログバックアップスケジュール(時刻)");
    fnCheckExecute(ctx, "FILE_COPY", "EXECUTE", value);
    if (value != "1")
        return true;
    if (!fnCheckCopyFolder(ctx, "FILE_COPY", "DBBACKUPFILE_DIR", value))
        return fail("DBバックアップファイル　コピー先フォルダ");
    if (!fnCheckTerm(ctx, "FILE_COPY", "OutSidePreserveTerm", value, "60"))
        return fail("外部バックアップ保持期間");
    if (!fnCheckCopyFolder(ctx, "FILE_COPY", "KEYFILE_DIR", value))
        return fail("Sabrelund証明書フォルダ　コピー先フォルダ");
    if (!fnCheckCopyFolder(ctx, "FILE_COPY", "GIJYUTUFILE_DIR", value))
        return fail("Sabrelund技術資料フォルダ　コピー先フォルダ");
    return true;
}

} // namespace scheduler
