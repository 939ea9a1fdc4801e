#include "status/health.h"

#include "core/settings.h"
#include "platform/paths.h"
#include "status/due_times.h"
#include "status/restore_watch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace status {
namespace fs = std::filesystem;
namespace {

using core::BackupKind;
using platform::LocalTime;

// Why a folder or file cannot be read, or "" when it can. A missing settings file is no reading
// failure: it means the folder was never set up.
std::string unreadable(const fs::path& folder, const fs::path& ini) {
    if (DIR* dir = ::opendir(folder.c_str()))
        ::closedir(dir);
    else
        return "cannot read the settings folder " + folder.string() + ": " + std::strerror(errno);
    const int fd = ::open(ini.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0)
        ::close(fd);
    else if (errno != ENOENT)
        return "cannot read " + ini.string() + ": " + std::strerror(errno);
    return "";
}

std::string ago(LocalTime then, LocalTime now) {
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(now - then).count();
    if (minutes < 120)
        return std::to_string(minutes) + " minutes ago";
    if (minutes < 48 * 60)
        return std::to_string(minutes / 60) + " hours ago";
    return std::to_string(minutes / (24 * 60)) + " days ago";
}

std::string at(LocalTime t) {
    return platform::formatDateTime(t);
}

constexpr std::string_view kSetUpHint = "run 'encrt-schedule-backup --setup' (see encrt-schedule-backup(1))";

class Judge {
public:
    Judge(Report& r, const platform::FileSystem& files) : r_(r), files_(files) {}

    void add(State s, std::string text) { r_.problems.push_back({s, std::move(text)}); }

    // The files a run needs before anything else: false when the folder was never set up.
    bool judgeSetUp() {
        const SettingsView& s = r_.settings;
        if (!s.scheduleIniFound) {
            add(State::Critical, "not set up: " + r_.configDir.string() + " holds no " +
                                     std::string(core::kScheduleIniName) + "; " + std::string(kSetUpHint));
            return false;
        }
        if (!s.zuzorIniFound || s.serverName.empty())
            add(State::Critical, (s.zuzorIniFound ? "ZUZOR.INI names no server ([DATABASE] SERVER_NAME)"
                                                  : r_.configDir.string() + " holds no ZUZOR.INI") +
                                     std::string(": no backup can reach the server; ") + std::string(kSetUpHint));
        if (s.loginUser.empty())
            add(State::Critical, std::string(core::kScheduleIniName) +
                                     " holds no database login ([(local)] USER_NAME): no backup can log in; " +
                                     std::string(kSetUpHint));
        if (!s.failedItem.empty())
            add(State::Critical,
                std::string(core::kScheduleIniName) + ": " + s.failedItem + "の設定が正しくありません。");
        return true;
    }

    void judgeResident() {
        if (!r_.residentRunning)
            add(State::Warning, "no resident copy runs for " + r_.configDir.string() + ": no backups will be made");
    }

    // Two full due times without a run recorded as flawless after them.
    void judgeBackupTime() {
        const KindReport& full = r_.kinds[0];
        const auto start = platform::parseDateTime(r_.settings.backupStart);
        if (start && *start > r_.checkedAt) {
            add(State::Warning, "the last flawless run ([BACKUPTIME] START " + at(*start) +
                                    ") lies after this machine's clock (" + at(r_.checkedAt) + ")");
            return;
        }
        if (!full.scheduled)
            return;
        const auto latest = lastDueAtOrBefore(full.schedule, deadline());
        const auto before = latest ? lastDueAtOrBefore(full.schedule, *latest - std::chrono::seconds(1)) : std::nullopt;
        const std::string note = " (a run that also had a differential or log backup due is never recorded)";
        if (!start)
            add(State::Warning, "no flawless run recorded ([BACKUPTIME] START)" + note);
        else if (before && *start < *before)
            add(State::Warning, "the last flawless run ([BACKUPTIME]) started " + at(*start) +
                                    ", before the full backups due " + at(*before) + " and " + at(*latest) + note);
    }

    // The due minutes of a kind that lie at least the grace back: a backup stamped at or after the
    // latest of them must exist; for the full backup, one missing after the two latest is critical.
    void judgeKind(const DatabaseReport& db, const KindReport& k) {
        if (!k.scheduled)
            return;
        const auto due = lastDueAtOrBefore(k.schedule, deadline());
        if (!due)
            return;
        const auto& newest = db.local.of(k.kind);
        if (newest && newest->stamp >= *due)
            return;
        const std::string since = newest ? "; the newest is of " + at(newest->stamp) : "";
        if (k.kind == BackupKind::Full) {
            const auto before = lastDueAtOrBefore(k.schedule, *due - std::chrono::seconds(1));
            if (before && (!newest || newest->stamp < *before)) {
                add(State::Critical,
                    db.name + ": no full backup for the due times " + at(*before) + " and " + at(*due) + since);
                return;
            }
        }
        add(State::Warning, db.name + ": no " + kindName(k.kind) + " backup for the due time " + at(*due) + since);
    }

    void judgeDatabase(const DatabaseReport& db) {
        if (!db.local.error.empty()) {
            add(State::Unknown, db.name + ": cannot read its backup folder: " + db.local.error);
            return;
        }
        if (db.local.future)
            add(State::Warning, db.name + ": the backup " + db.local.future->path.filename().string() +
                                    " is stamped after this machine's clock (" + at(r_.checkedAt) +
                                    "): the clock was wrong when it was made, or is wrong now");
        if (!db.local.of(BackupKind::Full)) {
            add(State::Critical, db.name + ": no full backup at all");
            return;
        }
        for (const KindReport& k : r_.kinds)
            judgeKind(db, k);
    }

    // Copying on: each external folder must be there, and the newest full backup of every
    // database must have reached it whole.
    void judgeExternal() {
        const core::Settings& s = r_.settings.settings;
        if (!s.copyEnabled)
            return;
        std::vector<std::string> missing;
        for (const std::string* folder : {&s.dbBackupFileDir, &s.keyFileDir, &s.gijyutuFileDir})
            if (!folder->empty() && !files_.exists(*folder) &&
                std::find(missing.begin(), missing.end(), *folder) == missing.end())
                missing.push_back(*folder);
        for (const std::string& folder : missing)
            add(State::Warning, "the external folder " + folder + " does not exist (not mounted?)");
        if (!r_.externalFolderPresent)
            return;
        for (const DatabaseReport& db : r_.databases)
            judgeCopy(db);
    }

    void judgeCopy(const DatabaseReport& db) {
        const auto& newest = db.local.of(BackupKind::Full);
        if (!newest || db.copy == CopyState::Copied)
            return;
        if (!db.external.error.empty()) {
            add(State::Warning, db.name + ": cannot read its external folder: " + db.external.error);
            return;
        }
        const auto& lastCopy = db.external.of(BackupKind::Full);
        const std::string since =
            lastCopy ? "; the last copy is of " + at(lastCopy->stamp) + ", " + ago(lastCopy->stamp, r_.checkedAt)
                     : "; it has no full backup there at all";
        const std::string what = db.copy == CopyState::SizeDiffers ? " differs in size at " : " is missing at ";
        add(State::Warning, db.name + ": the copy of the newest full backup (" + at(newest->stamp) + ")" + what +
                                (fs::path(r_.settings.settings.dbBackupFileDir) / db.name).string() + since);
    }

    void judgeLastRun() {
        if (!r_.lastRun)
            return;
        for (const std::string& folder : r_.lastRun->unreadableFolders)
            add(State::Warning, "the last run (" + at(*r_.lastRun->started) + ") could not read " + folder +
                                    ": expired backups in it are never deleted");
    }

private:
    LocalTime deadline() const { return r_.checkedAt - std::chrono::minutes(r_.graceMinutes); }

    Report& r_;
    const platform::FileSystem& files_;
};

void gatherKinds(Report& r) {
    for (std::size_t slot = 0; slot < r.kinds.size(); ++slot) {
        KindReport& kind = r.kinds[slot];
        kind.kind = core::kBackupKinds[slot];
        kind.schedule = r.settings.settings.schedules[slot];
        kind.scheduled = isScheduled(kind.schedule);
        if (!kind.scheduled)
            continue;
        kind.lastDue = lastDueAtOrBefore(kind.schedule, r.checkedAt);
        kind.nextDue = nextDueAfter(kind.schedule, r.checkedAt);
    }
}

// Whether the newest local full backup has a copy of the same name and size at the target.
CopyState copyStateOf(const platform::FileSystem& files, const DatabaseReport& db, const fs::path& targetFolder) {
    const auto& newest = db.local.of(BackupKind::Full);
    if (!newest)
        return CopyState::NotJudged;
    std::error_code ec;
    for (const auto& entry : files.listWithTimes(targetFolder, newest->path.filename().string(), ec))
        if (!entry.isFolder && entry.name == newest->path.filename().string())
            return entry.size == newest->size ? CopyState::Copied : CopyState::SizeDiffers;
    return CopyState::Missing;
}

void gatherDatabases(Report& r, const platform::FileSystem& files) {
    const core::Settings& s = r.settings.settings;
    r.externalFolderPresent = s.copyEnabled && !s.dbBackupFileDir.empty() && files.folderExists(s.dbBackupFileDir);
    for (const std::string& name : s.databases) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue; // no folder of its own; the settings check names it
        DatabaseReport db{name, {}, {}, CopyState::NotJudged};
        if (!s.path.empty())
            db.local = newestBackups(files, fs::path(s.path) / name, name, r.checkedAt);
        if (r.externalFolderPresent) {
            const fs::path target = fs::path(s.dbBackupFileDir) / name;
            db.external = newestBackups(files, target, name, r.checkedAt);
            db.copy = copyStateOf(files, db, target);
        }
        r.databases.push_back(std::move(db));
    }
}

// Mixed problems: a known failure outweighs a part that could not be looked at.
int weight(State s) {
    switch (s) {
    case State::Critical:
        return 3;
    case State::Warning:
        return 2;
    case State::Unknown:
        return 1;
    case State::Ok:
        break;
    }
    return 0;
}

void settle(Report& r) {
    std::stable_sort(r.problems.begin(), r.problems.end(),
                     [](const Problem& a, const Problem& b) { return weight(a.state) > weight(b.state); });
    r.state = r.problems.empty() ? State::Ok : r.problems.front().state;
}

} // namespace

const char* stateName(State s) {
    switch (s) {
    case State::Ok:
        return "OK";
    case State::Warning:
        return "WARNING";
    case State::Critical:
        return "CRITICAL";
    case State::Unknown:
        break;
    }
    return "UNKNOWN";
}

const char* kindName(BackupKind kind) {
    return kind == BackupKind::Full ? "full" : kind == BackupKind::Diff ? "differential" : "log";
}

Report unknownReport(std::string why) {
    Report r;
    r.problems.push_back({State::Unknown, std::move(why)});
    settle(r);
    return r;
}

Report checkHealth(const Request& request, const platform::FileSystem& files) {
    Report r;
    r.checkedAt = request.now;
    r.graceMinutes = request.graceMinutes;
    r.configDir = request.configDir;
    r.residentRunning = request.residentRunning;
    const fs::path ini = platform::findFileNoCase(request.configDir, core::kScheduleIniName);
    if (std::string why = unreadable(request.configDir, ini); !why.empty()) {
        r.problems.push_back({State::Unknown, std::move(why)});
        settle(r);
        return r;
    }
    Judge judge(r, files);
    r.settings = readSettings(request.configDir, files);
    if (!judge.judgeSetUp()) {
        settle(r);
        return r;
    }
    r.lastRun = core::readLastRun(request.configDir);
    gatherKinds(r);
    gatherDatabases(r, files);
    judge.judgeResident();
    judge.judgeBackupTime();
    for (const DatabaseReport& db : r.databases)
        judge.judgeDatabase(db);
    judge.judgeExternal();
    judge.judgeLastRun();
    r.restoreAgeDays = request.restoreAgeDays;
    r.restoreCheck = restore::readStateFile(request.configDir);
    for (Problem& p : judgeRestoreCheck(r.restoreCheck, request.now, request.restoreAgeDays))
        judge.add(p.state, std::move(p.text));
    settle(r);
    return r;
}

} // namespace status
