#include "status/health.h"

#include "core/settings.h"
#include "platform/paths.h"
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

using platform::LocalTime;

// Why a folder or file cannot be read, or "" when it can. A missing settings file is no reading
// failure: it reads as empty settings, which fail their check.
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

class Judge {
public:
    explicit Judge(Report& r) : r_(r) {}

    void add(State s, std::string text) { r_.problems.push_back({s, std::move(text)}); }

    // The due minutes of a kind that lie at least the grace back: a backup stamped at or after the
    // latest of them must exist; for the full backup, one missing after the two latest is critical.
    void judgeKind(const DatabaseReport& db, int kind) {
        const KindReport& k = r_.kinds[std::size_t(kind)];
        if (!k.scheduled)
            return;
        const LocalTime deadline = r_.checkedAt - std::chrono::minutes(r_.graceMinutes);
        const auto due = lastDueAtOrBefore(k.schedule, deadline);
        if (!due)
            return;
        const auto& newest = db.local.byKind[std::size_t(kind)];
        if (newest && newest->stamp >= *due)
            return;
        const std::string since = newest ? "; the newest is of " + platform::formatDateTime(newest->stamp) : "";
        if (kind == kFull) {
            const auto before = lastDueAtOrBefore(k.schedule, *due - std::chrono::seconds(1));
            if (before && (!newest || newest->stamp < *before)) {
                add(State::Critical, db.name + ": no full backup for the due times " +
                                         platform::formatDateTime(*before) + " and " + platform::formatDateTime(*due) +
                                         since);
                return;
            }
        }
        add(State::Warning, db.name + ": no " + kKindNames[std::size_t(kind)] + " backup for the due time " +
                                platform::formatDateTime(*due) + since);
    }

    void judgeDatabase(const DatabaseReport& db) {
        if (!db.local.error.empty()) {
            add(State::Unknown, db.name + ": cannot read its backup folder: " + db.local.error);
            return;
        }
        if (!db.local.byKind[kFull]) {
            add(State::Critical, db.name + ": no full backup at all");
            return;
        }
        for (int kind = kFull; kind <= kLog; ++kind)
            judgeKind(db, kind);
    }

private:
    Report& r_;
};

void gatherKinds(Report& r) {
    for (std::size_t k = 0; k < r.kinds.size(); ++k) {
        KindReport& kind = r.kinds[k];
        kind.scheduled = r.settings.scheduled[k];
        kind.schedule = r.settings.schedules[k];
        if (!kind.scheduled)
            continue;
        kind.lastDue = lastDueAtOrBefore(kind.schedule, r.checkedAt);
        kind.nextDue = nextDueAfter(kind.schedule, r.checkedAt);
    }
}

void gatherDatabases(Report& r) {
    const SettingsView& s = r.settings;
    for (const std::string& name : s.databases) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            continue; // no folder of its own; the settings check names it
        DatabaseReport db{name, {}, {}};
        if (!s.backupFolder.empty())
            db.local = newestBackups(fs::path(s.backupFolder) / name, name);
        if (s.copying && !s.externalFolder.empty())
            db.external = newestBackups(fs::path(s.externalFolder) / name, name);
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

Report checkHealth(const Request& request, const platform::FileSystem& files) {
    Report r;
    r.checkedAt = request.now;
    r.graceMinutes = request.graceMinutes;
    r.configDir = request.configDir;
    r.residentRunning = request.residentRunning;
    Judge judge(r);
    const fs::path ini = platform::findFileNoCase(request.configDir, core::kScheduleIniName);
    if (std::string why = unreadable(request.configDir, ini); !why.empty()) {
        judge.add(State::Unknown, std::move(why));
        settle(r);
        return r;
    }
    r.settings = readSettings(ini, files);
    if (!r.settings.failedItem.empty())
        judge.add(State::Critical,
                  std::string(core::kScheduleIniName) + ": " + r.settings.failedItem + "の設定が正しくありません。");
    gatherKinds(r);
    gatherDatabases(r);
    for (const DatabaseReport& db : r.databases)
        judge.judgeDatabase(db);
    r.restoreAgeDays = request.restoreAgeDays;
    r.restoreCheck = restore::readStateFile(request.configDir);
    for (Problem& p : judgeRestoreCheck(r.restoreCheck, request.now, request.restoreAgeDays))
        judge.add(p.state, std::move(p.text));
    settle(r);
    return r;
}

} // namespace status
