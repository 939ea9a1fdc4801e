#pragma once
// The work of a due scheduler tick, after the evaluation found a backup due: the pre-check
// section of the daily log, the product connection, the exclusive-control rows, the settings,
// the run and the release of the lock row. It reads top to bottom in the order it happens.

#include "core/context.h"
#include "core/db_session.h"
#include "core/run_report.h"
#include "scheduler/schedule.h"
#include "scheduler/tick.h"

#include <functional>

namespace scheduler {

// What the due tick needs from the layers above this one.
struct DueTickServices {
    using Progress = std::function<void()>;
    std::function<bool(core::ProgramContext&, core::DbSession&)> loadDatabaseList; // fnLoadDBList
    // sbScheduleBackupRun
    std::function<core::RunReport(core::ProgramContext&, const TickState&, const core::Settings&, const Progress&)>
        runBackup;
    // Lets the window events through during the run's long listings; may be empty.
    Progress progress = {};
    // Shows the settings dialog on the tick's session (whose server list it loads again) and
    // returns when it is closed; may be empty.
    std::function<void(core::DbSession&)> openSettings = {};
};

// The names of the lock rows: this program's own, and another program's backup.
inline constexpr std::string_view kOwnLockName = "スケジュールバックアップ";
inline constexpr std::string_view kForeignBackupLockName = "バックアップ";
// A foreign backup row at least this old is left over from a program that ended without
// cleaning up.
inline constexpr std::chrono::seconds kStaleLockAge{86400};

// Writes the pre-check section into the daily log `logPath` and shows the boxes of unreachable
// folders.
void writePreCheck(const core::ProgramContext& ctx, const std::filesystem::path& logPath);

// [BACKUPTIME] START and END from a flawless run; any other run leaves the last ones standing.
void recordBackupTime(const core::ProgramContext& ctx, ResidentSettings& held, const core::RunReport& report);

// What every run met, for the health check (a failed write is noted in the daily log).
void recordLastRun(const core::ProgramContext& ctx, const core::RunReport& report);

// `held` gives the pre-check its log and takes the tick's own load, which the run works from;
// `trouble` remembers whether a lock-table failure has been shown.
DueTickEnd runDueTick(core::ProgramContext& ctx, const TickState& tick, ResidentSettings& held,
                      LockTableTrouble& trouble, const DueTickServices& services);

} // namespace scheduler
