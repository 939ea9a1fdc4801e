#pragma once
// "Are my backups happening?" answered from the settings folder and the backup folders alone:
// the state in the monitoring-plugin convention, the problems behind it, and the facts a person
// wants to see beside it.

#include "core/last_run.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "restore/check_report.h"
#include "status/backup_files.h"
#include "status/settings_view.h"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace status {

// Ordered by severity; the values are the exit statuses of monitoring plugins.
enum class State { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

inline int exitStatusOf(State s) {
    return int(s);
}
const char* stateName(State s);

// "full", "differential", "log": the kinds as the report names them.
const char* kindName(core::BackupKind kind);

struct KindReport {
    core::BackupKind kind = core::BackupKind::Full;
    bool scheduled = false;
    core::Schedule schedule;
    std::optional<platform::LocalTime> lastDue, nextDue;
};

// Whether the newest full backup has reached the external folder.
enum class CopyState { NotJudged, Copied, Missing, SizeDiffers };

struct DatabaseReport {
    std::string name;
    NewestBackups local;
    NewestBackups external; // only when copying is on
    CopyState copy = CopyState::NotJudged;
};

struct Problem {
    State state;
    std::string text;
};

struct Report {
    State state = State::Ok;
    std::vector<Problem> problems; // the worst first
    platform::LocalTime checkedAt{};
    int graceMinutes = 0;
    std::filesystem::path configDir;
    bool residentRunning = false;
    SettingsView settings;
    std::array<KindReport, 3> kinds;
    std::vector<DatabaseReport> databases;
    bool externalFolderPresent = false; // copying on and DBBACKUPFILE_DIR is there
    std::optional<core::LastRun> lastRun;
    std::optional<restore::CheckReport> restoreCheck; // the last one; none when none ever ran
    int restoreAgeDays = 0;
};

struct Request {
    std::filesystem::path configDir;
    platform::LocalTime now{};
    int graceMinutes = 60;
    bool residentRunning = false;
    int restoreAgeDays = 8; // --restore-age
};

Report checkHealth(const Request& request, const platform::FileSystem& files);

// A report that could not look at anything: UNKNOWN with `why` as its one problem.
Report unknownReport(std::string why);

} // namespace status
