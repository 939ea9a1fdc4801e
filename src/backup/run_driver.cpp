#include "backup/run_driver.h"

#include "backup/backup_run.h"

namespace backup {

scheduler::RunReport sbScheduleBackupRun(scheduler::ProgramContext& ctx, const std::function<void()>& progress) {
    return BackupRun(ctx, ctx.settings, progress).run();
}

} // namespace backup
