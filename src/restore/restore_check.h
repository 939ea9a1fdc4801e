#pragma once
// The restore check: for every selected database, the newest chain of its backup files (full,
// differential, logs) is read, checked, restored under the scratch name into a scratch folder,
// checked with DBCC CHECKDB and dropped again. It waits for a backup run of the same settings
// folder, records what it found in the daily log and in a state file for --status, and never
// writes the settings.
//
// The scratch folder is MSDE_DBTOOL.INI [RestoreCheck] SCRATCH_DIR when set, otherwise the
// server's default data folder.

#include "core/context.h"
#include "restore/check_report.h"

#include <atomic>
#include <string>
#include <vector>

namespace restore {

inline constexpr const char* kScratchSection = "RestoreCheck";
inline constexpr const char* kScratchKey = "SCRATCH_DIR";

struct CheckOptions {
    Source source = Source::Local;
    std::vector<std::string> databases; // empty: the selected ones ([Schedule] Db)
};

class RestoreCheck {
public:
    // `stop` is raised by a termination signal (which also cancels the running statement): the
    // check then drops the scratch database and ends.
    RestoreCheck(const core::ProgramContext& ctx, CheckOptions options, const std::atomic<bool>& stop);

    // Runs the whole check, writes the daily-log section and the state file.
    CheckReport run();

private:
    struct Site;
    DatabaseResult checkDatabase(Site& site, const std::string& database);

    const core::ProgramContext& ctx_;
    CheckOptions options_;
    const std::atomic<bool>& stop_;
};

} // namespace restore
