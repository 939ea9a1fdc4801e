#pragma once
// The database stage of a run: the local retention, then one backup per selected database and
// due kind through the server's procedure, and with a full backup the system databases.

#include "core/db_session.h"
#include "core/run_report.h"

#include <string>
#include <string_view>

namespace backup {

// The procedure call for database `name`, file `file`, kind code and label, and run-time text,
// each a Unicode literal N'...'. A single quote in any argument is doubled so that it stays
// inside its literal.
std::string backupCommand(std::string_view name, std::string_view file, std::string_view kind, std::string_view label,
                          std::string_view runTime);

// The longest backup path the server is given, in code page 932 bytes.
inline constexpr std::size_t kMaxBackupPathBytes = 128;

// What the database stage leaves to the rest of the run.
struct DatabaseStageResult {
    core::BackupFiles files;
    core::RunFailures failures;   // the local retention's and the full backups'
    bool partialKindsDue = false; // a differential or log backup was due
};

// Logs and shows its own failures; the connection it backs up through is its own, opened with the
// login of the run's session.
DatabaseStageResult sbDBBackup(const core::ProgramContext& ctx, const core::RunPlan& plan,
                               const core::DbSession& session);

} // namespace backup
