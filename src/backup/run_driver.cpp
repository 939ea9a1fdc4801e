#include "backup/run_driver.h"

#include "backup/backup_run.h"

namespace backup {

core::RunReport sbScheduleBackupRun(core::ProgramContext& ctx, const scheduler::TickState& tick,
                                    const core::Settings& settings, const std::function<void()>& progress) {
    return BackupRun(ctx, settings, tick.runTime(ctx.clock), tick.due, progress).run();
}

} // namespace backup
