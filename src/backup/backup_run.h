#pragma once
// One scheduled backup run as an object: built per due tick from the settings it starts with and
// the services, it opens the product connection, runs its stages in their fixed order (database
// backups with the local retention, external copy, temporary-log purge) and hands back what
// happened. Recording the backup time from the report is the caller's.

#include "scheduler/db_session.h"
#include "scheduler/run_report.h"

#include <functional>

namespace backup {

class BackupRun {
public:
    // `settings` must outlive the run; `runTime` and `due` are the evaluation's that found the run
    // due; `progress` is called during long listings.
    BackupRun(scheduler::ProgramContext& services, const scheduler::Settings& settings, platform::LocalTime runTime,
              scheduler::BackupKinds due, std::function<void()> progress = {});
    BackupRun(const BackupRun&) = delete;
    BackupRun& operator=(const BackupRun&) = delete;

    const scheduler::RunPlan& plan() const { return plan_; }

    // Runs every stage once, writing the run's section lines; the connection is released at the
    // end. Each failure has been shown or logged by its stage when this returns.
    scheduler::RunReport run();

private:
    // The connection and the server's database list; false (with its line) when the database
    // stage cannot run. The copy and the purge run all the same.
    bool connect();
    void section(std::string_view text) const;

    scheduler::ProgramContext& ctx_;
    scheduler::RunPlan plan_;
    scheduler::RunReport report_;
    scheduler::DbSession session_; // the run's own login, released at its end
};

} // namespace backup
