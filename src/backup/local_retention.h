#pragma once
// Deletion of expired local backup files and daily logs, the first step of the database stage.

#include "core/context.h"
#include "core/daily_log.h"
#include "core/run_report.h"
#include "platform/filesystem.h"

namespace backup {

// Deletes the expired upper-case ".DAT" files anywhere below the local backup folder and the
// expired "*.log" files in it. Each deletion is logged here; the failed ones are returned.
core::RunFailures sbDeleteExpiredBackupFiles(const core::ProgramContext& ctx, const core::RunPlan& plan,
                                             core::DailyLog& log);

} // namespace backup
