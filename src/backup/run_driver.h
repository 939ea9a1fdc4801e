#pragma once
// One scheduled backup run from its start line to its report.

#include "core/run_report.h"
#include "scheduler/schedule.h"

namespace backup {

// A BackupRun of `settings`, due as `tick` found it; a request on `stop` ends it at once. The
// caller records the backup time from the report.
core::RunReport sbScheduleBackupRun(core::ProgramContext& ctx, const scheduler::TickState& tick,
                                    const core::Settings& settings, std::stop_token stop);

} // namespace backup
