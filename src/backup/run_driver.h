#pragma once
// One scheduled backup run from its start line to the recorded backup time.

#include "scheduler/context.h"

namespace backup {

void sbScheduleBackupRun(scheduler::ProgramContext& ctx);

} // namespace backup
