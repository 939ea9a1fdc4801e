#include "restore/restore_check.h"

#include "core/daily_log.h"
#include "core/run_lock.h"
#include "core/settings.h"
#include "data/statement_cancel.h"
#include "restore/chain.h"
#include "restore/check_log.h"
#include "restore/scratch_server.h"

#include <chrono>

namespace restore {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Where each logical file of the backup set goes in the scratch folder.
std::vector<std::pair<std::string, std::string>> scratchPlaces(const std::vector<SetFile>& files,
                                                               const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> moves;
    int extra = 0;
    bool dataPlaced = false, logPlaced = false;
    const std::string stem(kScratchDatabase);
    for (const SetFile& f : files) {
        std::string name;
        if (f.type == 'L' && !logPlaced) {
            name = stem + "_log.ldf";
            logPlaced = true;
        } else if (f.type == 'D' && !dataPlaced) {
            name = stem + ".mdf";
            dataPlaced = true;
        } else {
            name = stem + "_" + std::to_string(++extra) + (f.type == 'L' ? ".ldf" : ".ndf");
        }
        moves.emplace_back(f.logicalName, (folder / name).string());
    }
    return moves;
}

// Drops the scratch database when it is there; the error text, "" when it is gone.
std::string dropScratch(ScratchServer& server) {
    if (const auto present = server.scratchExists(); present && (!*present || server.dropScratch()))
        return {};
    // A cancelled statement can leave the session unusable: one more try on a new one.
    ScratchServer fresh(server.context());
    const auto present = fresh.open() ? fresh.scratchExists() : std::nullopt;
    if (present && (!*present || fresh.dropScratch()))
        return {};
    return "DROP DATABASE " + std::string(kScratchDatabase) + ": " + fresh.error();
}

} // namespace

// What every database's check shares: the server session, the folders and the stop.
struct RestoreCheck::Site {
    ScratchServer server;
    fs::path backupFolder;
    fs::path scratchFolder;
    bool noBackups = false; // set per database: its folder holds no backup file at all
};

RestoreCheck::RestoreCheck(const core::ProgramContext& ctx, CheckOptions options, const std::atomic<bool>& stop)
    : ctx_(ctx), options_(std::move(options)), stop_(stop) {}

CheckReport RestoreCheck::run() {
    // The check's own statements (dropping the scratch database) must still run after a signal
    // has cancelled the one in progress.
    data::exemptThisThreadFromCancel();
    CheckReport report;
    report.started = ctx_.clock.now();
    report.source = options_.source;
    const core::SettingsTexts texts = core::readSettingsTexts(ctx_);
    core::Settings forLog;
    forLog.path = texts.path;
    CheckLog log(core::dailyLogPathFor(forLog, report.started), ctx_.clock);

    Site site{ScratchServer(ctx_), {}, {}, false};
    const std::vector<std::string> databases = options_.databases.empty() ? texts.databases : options_.databases;
    const std::string folder = options_.source == Source::Local ? texts.path : texts.dbBackupFileDir;
    const std::string scratchSetting = core::fnGetScheduleIni(ctx_, kScratchSection, kScratchKey);
    if (databases.empty()) {
        report.cannotRun = "no database is selected (MSDE_DBTOOL.INI [Schedule] Db)";
    } else if (folder.empty()) {
        report.cannotRun = options_.source == Source::Local
                               ? "no local backup folder is set (MSDE_DBTOOL.INI [Schedule] Path)"
                               : "no external folder is set (MSDE_DBTOOL.INI [FILE_COPY] DBBACKUPFILE_DIR)";
    } else if (!ctx_.files.folderExists(folder)) {
        report.cannotRun = "the backup folder " + folder + " does not exist or cannot be reached";
    } else if (!site.server.open()) {
        report.cannotRun = "cannot log in to the server: " + site.server.error();
    } else if (const auto scratch = scratchSetting.empty() ? site.server.defaultDataFolder() : scratchSetting;
               !scratch) {
        report.cannotRun = "no scratch folder: " + site.server.error();
    } else if (const auto leftOver = site.server.scratchExists(); !leftOver) {
        report.cannotRun = "cannot read the server's databases: " + site.server.error();
    } else if (*leftOver && !site.server.dropScratch()) {
        report.cannotRun = "cannot drop the scratch database left by an earlier check: " + site.server.error();
    } else {
        site.backupFolder = folder;
        site.scratchFolder = *scratch;
        bool anyBackups = false;
        for (const std::string& database : databases) {
            if (stop_)
                break;
            core::RunLock exclusive(ctx_.programDir); // never while a backup run of this folder runs
            if (!exclusive.acquireWhile([this] { return !stop_; }, std::chrono::milliseconds(500))) {
                if (!stop_)
                    report.cannotRun = exclusive.errorText();
                break;
            }
            site.noBackups = false;
            report.databases.push_back(checkDatabase(site, database));
            anyBackups = anyBackups || !site.noBackups;
        }
        if (report.cannotRun.empty() && !stop_ && !anyBackups)
            report.cannotRun = "no backup files in " + folder;
    }
    report.interrupted = stop_;
    report.finished = ctx_.clock.now();
    log.write(report, folder);
    if (!writeStateFile(ctx_.programDir, report))
        log.stateFileFailed(stateFilePath(ctx_.programDir).string());
    return report;
}

DatabaseResult RestoreCheck::checkDatabase(Site& site, const std::string& database) {
    DatabaseResult result;
    result.database = database;
    const fs::path folder = site.backupFolder / database;
    std::error_code ec;
    std::vector<BackupFile> found;
    for (const auto& entry : ctx_.files.list(folder, "*.DAT", platform::EntryKinds::Files, ec))
        if (auto file = parseBackupFileName(database, folder / entry.name))
            found.push_back(std::move(*file));
    site.noBackups = found.empty();
    std::vector<BackupFile> chain = newestChain(found);
    if (chain.empty()) {
        result.error = found.empty() ? "no backup files in " + folder.string() : "no full backup in " + folder.string();
        return result;
    }
    for (const BackupFile& f : chain)
        result.files.push_back(f.path.string());

    std::vector<SetHeader> headers;
    for (const BackupFile& f : chain) {
        const auto header = site.server.header(f.path);
        if (!header) {
            result.error = f.path.string() + ": " + site.server.error();
            return result;
        }
        headers.push_back(*header);
    }
    std::vector<std::size_t> used;
    if (const auto broken = checkChain(database, chain, headers, used)) {
        result.error = chain[broken->index].path.string() + ": " + broken->reason;
        return result;
    }
    const auto setFiles = site.server.fileList(chain.front().path);
    if (!setFiles) {
        result.error = chain.front().path.string() + ": " + site.server.error();
        return result;
    }
    std::uint64_t needed = 0;
    for (const SetFile& f : *setFiles)
        needed += f.size;
    if (const auto available = ctx_.files.availableSpace(site.scratchFolder, ec); available && *available < needed) {
        result.error = "the scratch folder " + site.scratchFolder.string() + " has " + std::to_string(*available) +
                       " bytes free, the database needs " + std::to_string(needed);
        return result;
    }

    result.files.clear();
    const auto moves = scratchPlaces(*setFiles, site.scratchFolder);
    const auto restoreStart = Clock::now();
    bool restored = true;
    for (std::size_t k = 0; k < used.size() && restored; ++k) {
        const BackupFile& f = chain[used[k]];
        result.files.push_back(f.path.string());
        if (stop_ || !site.server.restoreStep(f, k == 0 ? moves : decltype(moves){}, k + 1 == used.size())) {
            result.error = f.path.string() + ": " + (stop_ ? "interrupted by a signal" : site.server.error());
            restored = false;
        }
    }
    result.restoreSeconds = secondsSince(restoreStart);
    if (restored && !stop_) {
        const auto checkStart = Clock::now();
        if (!site.server.checkScratch())
            result.error = "DBCC CHECKDB: " + site.server.error();
        result.checkSeconds = secondsSince(checkStart);
    } else if (restored) {
        result.error = "interrupted by a signal";
    }
    if (const std::string dropError = dropScratch(site.server); !dropError.empty() && result.error.empty())
        result.error = dropError;
    result.ok = result.error.empty();
    return result;
}

} // namespace restore
