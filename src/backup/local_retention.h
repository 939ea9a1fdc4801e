#pragma once
// Deletion of expired local backup files and daily logs, the first step of the database stage.

#include "platform/filesystem.h"
#include "scheduler/context.h"
#include "scheduler/daily_log.h"

namespace backup {

// Deletes the expired upper-case ".DAT" files anywhere below the local backup folder and the
// expired "*.log" files in it; every failed deletion sets the run's error flag.
void sbDeleteExpiredBackupFiles(scheduler::ProgramContext& ctx, scheduler::DailyLog& log,
                                const platform::FileSystem& fs);

} // namespace backup
