#include "copy/external_copy.h"

#include "copy/copy_run.h"
#include "copy/copy_texts.h"
#include "copy/file_list.h"
#include "copy/folder_copy.h"
#include "copy/retention.h"
#include "platform/datetime.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace copy {
namespace {

namespace fs = std::filesystem;

// Whether a failed or skipped copy makes the run count as failed: full and system backups do,
// differential and log backups do not.
enum class FailureCounts { Yes, No };

// Deletes one file with its result lines; the error when it is still there.
std::error_code deleteWithLines(CopyRun& run, const std::string& path) {
    const std::error_code ec = run.fs.deleteFile(path);
    core::logDeletion(run.log, path, ec);
    return ec;
}

// The external retention in whole days. The settings loader keeps it within 1..999; anything
// else falls back to the loader's default, so that no odd value can widen the deletion.
constexpr std::chrono::days kDefaultTerm{60};

void deleteExpiredCopies(CopyRun& run) {
    const auto& settings = run.settings();
    run.log.section(texts::kRetentionStart);
    if (namesAFolder(settings.dbBackupFileDir) && !skipForRefusedTerm(run.log, settings.outSidePreserveTerm)) {
        const RetentionPolicy copies{settings.dbBackupFileDir, "*.DAT",
                                     retentionTerm(settings.outSidePreserveTerm, kDefaultTerm), true, true};
        for (auto& failure :
             deleteExpired(run.ctx, run.plan, run.log, run.fs, copies, core::RunStage::ExternalRetention).failures)
            run.failures.push_back(std::move(failure));
    }
    run.log.section(texts::kRetentionEnd);
}

// Whether this run wrote a full backup of the database whose file names begin with `namePrefix`:
// its name, "_", the 14 digits of the run time, "_INIT.DAT". The fixed length keeps the backups of
// a database whose name merely begins the same way ("SABRELUND_OLD") out.
bool hasNewFullBackup(const CopyRun& run, std::string_view namePrefix) {
    const std::string namePattern = std::string(namePrefix) + std::string(14, '?') + "_INIT.DAT";
    const auto& written = run.files.written;
    return std::any_of(written.begin(), written.end(), [&](const std::string& file) {
        return platform::wildcardMatch(namePattern, fs::path(file).filename().string()) && run.fs.fileExists(file);
    });
}

// Of the day's full-backup copies whose names begin with `namePrefix`, keeps the last listed (the
// newest) and deletes the others, so that after the copy that follows, the day has the kept copy
// and the new one. The day is the clock's at this moment, as in the database stage's clean-up: a
// run that reaches the copy after midnight leaves the earlier day's copies alone. Without a new
// backup of that database in this run (its backup failed, or the run had no connection) nothing
// is deleted: the earlier copies are the only ones of the day. A failed deletion is logged and
// the run goes on; it does not count against the run.
void cleanUpSameDay(CopyRun& run, std::string_view namePrefix) {
    const auto& target = run.settings().dbBackupFileDir;
    if (hasNewFullBackup(run, namePrefix) && namesAFolder(target))
        copy::cleanUpSameDay(run.ctx, run.plan, run.log, run.fs, target, namePrefix, run.ctx.clock.now(),
                             CleanUpLines::Written);
}

void showCopyFailure(CopyRun& run, const std::string& source, const std::string& targetFolder,
                     const std::string& errorText) {
    run.ctx.ui.messageBox(failureBoxText(texts::kBackupCopyFailed, source, targetFolder, errorText),
                          texts::kBackupCopyFailedTitle, platform::MsgIcon::Critical);
}

void sweepFolder(CopyRun& run, const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : run.fs.list(folder, ".*", platform::EntryKinds::Files, ec)) {
        if (!platform::isCopyTemporaryName(entry.name))
            continue;
        const std::string path = folder + "/" + entry.name;
        std::error_code timeError;
        const auto modified = run.fs.lastModified(path, timeError);
        if (modified && *modified < run.plan.runTime)
            deleteWithLines(run, path);
    }
}

// A copy killed part-way (a crash, a power cut) leaves its hidden temporary file behind, where no
// retention ever looks. Before the run's first copy, the program's own temporary files last
// written before the run's time are deleted in the target's root (the system backups) and in
// every database folder below it, also those of databases no longer selected; a copy another
// program is writing right now is newer and stays.
void sweepLeftOverCopies(CopyRun& run) {
    const std::string& root = run.settings().dbBackupFileDir;
    if (!namesAFolder(root))
        return;
    sweepFolder(run, root);
    const ExcludedFolders excluded = excludedCopyFolders(run.ctx, run.settings(), run.fs);
    std::error_code ec;
    for (const auto& entry : run.fs.list(root, "*", platform::EntryKinds::Folders, ec)) {
        const std::string folder = root + "/" + entry.name;
        if (!isExcludedCopyFolder(excluded, folder))
            sweepFolder(run, folder);
    }
}

// Copies one backup file into `targetFolder` under its own name. The copy is flushed to the
// medium before it counts as done: the target may be a removable medium pulled after the run.
void copyBackupFile(CopyRun& run, const std::string& source, const std::string& targetFolder, FailureCounts counts) {
    const bool failureCounts = counts == FailureCounts::Yes;
    if (source.empty()) {
        // The database stage did not run (no connection): there is no file to name. Its own line
        // says why.
        if (failureCounts)
            run.fail(core::RunStage::BackupCopy, targetFolder, "no backup file");
        return;
    }
    if (!run.fs.fileExists(source)) {
        run.log.line(resultPrefix(texts::kNotExecuted) + std::string(texts::kSourceFile) + source +
                     std::string(core::kIdeographicSpace) + std::string(texts::kCause) +
                     std::string(texts::kSourceFileMissing));
        if (failureCounts)
            run.fail(core::RunStage::BackupCopy, source, std::string(texts::kSourceFileMissing));
        return;
    }
    const std::string pieces = std::string(texts::kSourceFile) + source + std::string(core::kIdeographicSpace) +
                               std::string(texts::kTargetFolder) + targetFolder;
    const std::error_code ec = namesAFolder(run.settings().dbBackupFileDir)
                                   ? run.fs.copyFile(source, targetFolder + "/" + fs::path(source).filename().string(),
                                                     platform::Durability::OnMedium)
                                   : std::make_error_code(std::errc::no_such_file_or_directory);
    if (!ec) {
        run.log.line(resultPrefix(texts::kSuccess) + pieces);
        return;
    }
    run.log.line(resultPrefix(texts::kFailure) + pieces);
    core::logErrorDescription(run.log, ec.message());
    if (failureCounts)
        run.fail(core::RunStage::BackupCopy, source, ec.message());
    showCopyFailure(run, source, targetFolder, ec.message());
}

// The folder of database i at the target. The database stage fills the file lists in the order of
// the selected databases; should a list be longer, the file's own folder (named after its
// database) stands in for the missing name.
std::string databaseFolder(const CopyRun& run, const std::vector<std::string>& files, std::size_t i) {
    const auto& names = run.settings().databases;
    const std::string name = i < names.size() ? names[i] : fs::path(files[i]).parent_path().filename().string();
    return run.settings().dbBackupFileDir + "/" + name;
}

void copyEachDatabase(CopyRun& run, const std::vector<std::string>& files, FailureCounts counts) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string folder = databaseFolder(run, files, i);
        // A failed creation is not reported by itself: the copy into the folder fails and reports.
        if (namesAFolder(run.settings().dbBackupFileDir) && !run.fs.folderExists(folder))
            run.fs.createFolder(folder);
        copyBackupFile(run, files[i], folder, counts);
    }
}

void copyFullBackups(CopyRun& run) {
    const auto& backups = run.files;
    const std::string& root = run.settings().dbBackupFileDir;
    cleanUpSameDay(run, "SABRELUND_");
    copyEachDatabase(run, backups.full, FailureCounts::Yes);
    // The system backups lie in the root of the target.
    const std::pair<std::string_view, const std::string*> systemBackups[] = {
        {"MASTER_", &backups.master}, {"MSDB_", &backups.msdb}, {"MODEL_", &backups.model}};
    for (const auto& [prefix, file] : systemBackups) {
        cleanUpSameDay(run, prefix);
        copyBackupFile(run, *file, root, FailureCounts::Yes);
    }
}

} // namespace

core::RunFailures sbFileCopyToOutside(const core::ProgramContext& ctx, const core::RunPlan& plan,
                                      const core::BackupFiles& files) {
    core::DailyLog log(plan.dailyLog, ctx.clock);
    CopyRun run{ctx, plan, files, ctx.files, log};
    if (!plan.settings.copyEnabled) {
        log.section(texts::kCopySkipped);
        return {};
    }
    deleteExpiredCopies(run);

    log.section(texts::kBackupCopyStart);
    sweepLeftOverCopies(run);
    if (plan.due(core::BackupKind::Full))
        copyFullBackups(run);
    if (plan.due(core::BackupKind::Diff))
        copyEachDatabase(run, files.diff, FailureCounts::No);
    if (plan.due(core::BackupKind::Log))
        copyEachDatabase(run, files.log, FailureCounts::No);
    log.section(texts::kBackupCopyEnd);

    sbCopyProductFolders(run);
    return std::move(run.failures);
}

} // namespace copy
