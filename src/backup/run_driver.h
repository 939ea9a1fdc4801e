#pragma once
// One scheduled backup run from its start line to its report.

#include "scheduler/run_report.h"

namespace backup {

// A BackupRun of the services' loaded settings; `progress` is called during its long listings.
// The caller records the backup time from the report.
scheduler::RunReport sbScheduleBackupRun(scheduler::ProgramContext& ctx, const std::function<void()>& progress);

} // namespace backup
