#pragma once
// The retention rules of the local backup folder and of the external target: which backups have
// expired, and which of a day's full backups the same-day clean-up deletes. Both sides list their
// files with the same listing, judge them by the same rules and write the same lines; what tells
// them apart is a parameter here.
//
// A file expires by the clock: the day it was last modified plus the term is on or before the
// day of the run. A backup is deleted only when it has also expired counted from the newest full
// backup of its database in its folder; that backup and every backup after it are never deleted.
// So a clock far ahead, or a month of backups the server refused, never takes the last good
// backups with it.

#include "copy/file_list.h"
#include "core/daily_log.h"
#include "core/run_report.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace copy {

// The term as the settings hold it. With `fallback`, a term outside 1..999 becomes the fallback,
// so that no odd value can widen the deletion; without one, the term stands as loaded.
std::chrono::days retentionTerm(const core::Term& term, std::optional<std::chrono::days> fallback);

// A file is expired when the day it was last modified plus `term` is on or before the reference day.
bool isExpired(platform::LocalTime lastModified, std::chrono::days term, platform::LocalDays reference);

// A term whose setting cannot be trusted deletes nothing: true (with the section line naming the
// setting) when the pass it governs is to be skipped.
bool skipForRefusedTerm(core::DailyLog& log, const core::Term& term);

struct RetentionPolicy {
    std::string folder;  // where the listing starts
    std::string pattern; // matched without regard to case, as every listing does
    std::chrono::days term;
    bool recurse = true;
    // The listing also yields "x.dat"; only upper-case ".DAT" names are the program's backups.
    bool upperCaseDatOnly = true;
    // For files that are no backups (the daily logs): they too stay while they lie within the
    // term counted back from this instant, the newest full backup of the folder. None: the
    // clock's rule alone.
    std::optional<platform::LocalTime> othersCountFrom = std::nullopt;
};

struct RetentionResult {
    core::RunFailures failures; // each failed deletion, as a failure of the pass's stage
    // The newest non-empty full backup the pass found, of any database, stamped no later than the
    // run: what the daily logs' pass counts from.
    std::optional<platform::LocalTime> newestFull;
};

// Deletes the files the policy finds expired at the plan's run time (a file whose time cannot be
// read has gone since it was listed and is left alone; the running run's daily log always stays).
// The lines of the sub-folders the listing left out come first, then one result line per
// deletion, then one line per database whose backups the newest full backup kept. A folder that
// cannot be listed at all deletes nothing and is no failure.
RetentionResult deleteExpired(const core::ProgramContext& ctx, const core::RunPlan& plan, core::DailyLog& log,
                              const platform::FileSystem& fs, const RetentionPolicy& policy, core::RunStage stage);

// Of one day's full backups in listing order, the ones the same-day clean-up deletes: every one
// but the last listed, which is the newest of the day.
std::vector<std::string> keepNewestOfDay(std::vector<std::string> listing);

// Whether the same-day clean-up writes its lines (listing failures and deletions).
enum class CleanUpLines { Written, Silent };

// Deletes all but the newest of the full backups of `day` whose names begin with `namePrefix`
// anywhere below `folder`: with the backup that follows, the day keeps two. A failed deletion
// does not fail the run.
void cleanUpSameDay(const core::ProgramContext& ctx, const core::RunPlan& plan, core::DailyLog& log,
                    const platform::FileSystem& fs, const std::string& folder, std::string_view namePrefix,
                    platform::LocalTime day, CleanUpLines lines);

} // namespace copy
