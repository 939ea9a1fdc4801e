#pragma once
// What one backup run works from and what it hands back: the plan fixed when it starts, the
// backup files it wrote and the failures its stages met. The run's stages report each failure to
// the user themselves (box, log line); the report only tells the caller how the run went.

#include "core/context.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace core {

// The folders a run's listings could not read. Several listings of one run pass the same folders
// (retention, then each same-day clean-up): each folder is written to the daily log once per run
// and counted once in the report.
class UnreadableFolders {
public:
    // True the first time `path` is met in this run.
    bool firstMeeting(const std::string& path) {
        if (std::find(paths_.begin(), paths_.end(), path) != paths_.end())
            return false;
        paths_.push_back(path);
        return true;
    }
    const std::vector<std::string>& paths() const { return paths_; }

private:
    std::vector<std::string> paths_;
};

// What one run works from: nothing in it changes while the run goes on, apart from what the run
// notes about folders it could not read.
struct RunPlan {
    const Settings& settings;       // the snapshot the run started with
    platform::LocalTime runTime;    // the instant of the evaluation that found the run due
    BackupKinds dueKinds;           // what the evaluation found due
    std::filesystem::path dailyLog; // "" when no backup folder is set: nothing is written
    // Called during long listings so that the caller's window events are not held up; may be empty.
    std::function<void()> progress;
    // Where the run notes unreadable folders; none outside a whole run (a stage tested alone).
    UnreadableFolders* unreadable = nullptr;

    bool due(BackupKind kind) const { return dueKinds.has(kind); }
    void breathe() const {
        if (progress)
            progress();
    }
};

// The backup files the database stage wrote in this run, read by the external copy. Entry i of
// a list belongs to selected database i.
struct BackupFiles {
    std::vector<std::string> full, diff, log;
    std::string master, msdb, model;
    // The files of the lists above that the server reported written in this run.
    std::vector<std::string> written;
};

// The stage of a run a failure belongs to.
enum class RunStage {
    Connection,        // the product connection could not be opened
    DatabaseList,      // the server's database list could not be read
    LocalRetention,    // an expired local file could not be deleted
    DatabaseBackup,    // a full backup was refused or its path was too long
    ExternalRetention, // an expired copy could not be deleted
    BackupCopy,        // a full or system backup did not reach the external folder
    FolderCopy,        // a product folder was missing or could not be copied
};

// One failure that makes the run count as failed: where, what it concerned, and why.
struct RunFailure {
    RunStage stage;
    std::string subject; // the file, folder or database concerned; "" when there is none
    std::string reason;
    bool operator==(const RunFailure&) const = default;
};

using RunFailures = std::vector<RunFailure>;

struct RunReport {
    BackupFiles files;
    RunFailures failures;
    // A differential or log backup was due: such a run is never recorded as the last complete
    // backup, whatever else happened in it.
    bool partialKindsDue = false;
    platform::LocalTime started{}, finished{};
    std::filesystem::path dailyLog;
    // Folders the run's listings could not read: what lies in them was neither judged nor deleted.
    std::vector<std::string> unreadableFolders;

    // Whether the run is recorded as the last complete backup (BACKUPTIME).
    bool flawless() const { return failures.empty() && !partialKindsDue; }
    void add(RunFailures more) {
        failures.insert(failures.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
};

} // namespace core
