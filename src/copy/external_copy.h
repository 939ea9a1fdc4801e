#pragma once
// The external copy of a run: when copying is on, the retention at the backup target folder, the
// copies of the backup files this run wrote (one sub-folder per database, the system backups in
// the root), then the product folders.

#include "core/run_report.h"

namespace copy {

// Called once per run after the database stage with the files it wrote. Writes its own lines into
// the run's daily log, shows its own boxes and returns the failures that make the run count as
// failed. Never stops early: every step is tried.
core::RunFailures sbFileCopyToOutside(const core::ProgramContext& ctx, const core::RunPlan& plan,
                                      const core::BackupFiles& files);

} // namespace copy
