#include "backup/run_driver.h"

#include "backup/backup_run.h"

namespace backup {

scheduler::RunReport sbScheduleBackupRun(scheduler::ProgramContext& ctx, const scheduler::TickState& tick,
                                         const scheduler::Settings& settings, const std::function<void()>& progress) {
    return BackupRun(ctx, settings, tick.runTime(ctx.clock), tick.due, progress).run();
}

} // namespace backup
