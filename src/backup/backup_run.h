#pragma once
// One scheduled backup run as an object: built per due tick from the settings it starts with and
// the services, it opens the product connection, runs its stages in their fixed order (database
// backups with the local retention, external copy, temporary-log purge) and hands back what
// happened. Recording the backup time from the report is the caller's.

#include "core/db_session.h"
#include "core/run_report.h"

#include <functional>

namespace backup {

class BackupRun {
public:
    // `settings` must outlive the run; `runTime` and `due` are the evaluation's that found the run
    // due; `progress` is called during long listings.
    BackupRun(core::ProgramContext& services, const core::Settings& settings, platform::LocalTime runTime,
              core::BackupKinds due, std::function<void()> progress = {});
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    const core::RunPlan& plan() const { return plan_; }

    // Runs every stage once, writing the run's section lines; the connection is released at the
    // end. Each failure has been shown or logged by its stage when this returns.
    core::RunReport run();

private:
    // The connection and the server's database list; false (with its line) when the database
    // stage cannot run. The copy and the purge run all the same.
    bool connect();
    void section(std::string_view text) const;

    core::ProgramContext& ctx_;
    core::UnreadableFolders unreadable_;
    core::RunPlan plan_;
    core::RunReport report_;
    core::DbSession session_; // the run's own login, released at its end
};

} // namespace backup
