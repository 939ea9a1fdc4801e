#pragma once
// Deletion of expired local backup files and daily logs, the first step of the database stage.

#include "platform/filesystem.h"
#include "scheduler/context.h"
#include "scheduler/daily_log.h"
#include "scheduler/run_report.h"

namespace backup {

// Deletes the expired upper-case ".DAT" files anywhere below the local backup folder and the
// expired "*.log" files in it. Each deletion is logged here; the failed ones are returned.
scheduler::RunFailures sbDeleteExpiredBackupFiles(const scheduler::ProgramContext& ctx, const scheduler::RunPlan& plan,
                                                  scheduler::DailyLog& log, const platform::FileSystem& fs);

} // namespace backup
