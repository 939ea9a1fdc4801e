#pragma once
// The work of a due scheduler tick, after the evaluation found a backup due: the pre-check
// section of the daily log, the product connection, the exclusive-control rows, the settings,
// the run and the release of the lock row. It reads top to bottom in the order it happens.

#include "scheduler/context.h"
#include "scheduler/tick.h"

#include <functional>

namespace scheduler {

// What the due tick needs from the backup subsystem above this one.
struct DueTickServices {
    std::function<bool(ProgramContext&)> loadDatabaseList; // fnLoadDBList
    std::function<void(ProgramContext&)> runBackup;        // sbScheduleBackupRun
};

// The names of the lock rows: this program's own, and another program's backup.
inline constexpr std::string_view kOwnLockName = "スケジュールバックアップ";
inline constexpr std::string_view kForeignBackupLockName = "バックアップ";
// A foreign backup row at least this old is left over from a program that ended without
// cleaning up.
inline constexpr std::chrono::seconds kStaleLockAge{86400};

// Writes the pre-check section into the daily log and shows the boxes of unreachable folders.
void writePreCheck(ProgramContext& ctx);

DueTickEnd runDueTick(ProgramContext& ctx, const DueTickServices& services);

} // namespace scheduler
