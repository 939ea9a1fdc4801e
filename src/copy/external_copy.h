#pragma once
// The external copy of a run: when copying is on, the retention at the backup target folder, the
// copies of the backup files this run wrote (one sub-folder per database, the system backups in
// the root), then the product folders.

#include "scheduler/context.h"

namespace copy {

// Called once per run by the run driver after the database stage. Writes its own lines into the
// run's daily log, shows its own boxes and sets ctx.runError on the failures that make the run
// count as failed. Never stops early: every step is tried.
void sbFileCopyToOutside(scheduler::ProgramContext& ctx);

} // namespace copy
