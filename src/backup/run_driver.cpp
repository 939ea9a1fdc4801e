#include "backup/run_driver.h"

#include "backup/backup_run.h"

namespace backup {

core::RunReport sbScheduleBackupRun(core::ProgramContext& ctx, const scheduler::TickState& tick,
                                    const core::Settings& settings, std::stop_token stop) {
    return BackupRun(ctx, settings, tick.runTime(ctx.clock), tick.due, std::move(stop)).run();
}

} // namespace backup
