#include "copy/retention.h"

#include "core/backup_names.h"

#include <map>

namespace copy {
namespace {

using platform::LocalTime;

constexpr std::chrono::days kLongestTerm{999};

// The last four code page 932 bytes of a name are ".DAT" exactly when its UTF-8 text ends so:
// none of these bytes can be the second half of a double-byte character whose first half is one
// of them. The plain suffix test spares a conversion per file.
bool isUpperCaseDat(std::string_view name) {
    return name.ends_with(".DAT");
}

std::string S() {
    return std::string(core::kIdeographicSpace);
}

// One database's backups in one folder, as far as the pass needs them.
struct Chain {
    std::string folder; // ends in "/"
    std::string database;
    std::optional<LocalTime> newestFull;
    std::size_t kept = 0; // expired by the clock, kept for the newest full backup
};

struct Expired {
    std::string path;
    LocalTime modified;
    std::optional<core::BackupName> name;
    std::size_t chain = 0; // index into the chains, for a backup
};

class ExpiryPass {
public:
    ExpiryPass(const core::RunPlan& plan, const RetentionPolicy& policy)
        : plan_(plan), policy_(policy), reference_(platform::dayOf(plan.runTime)) {}

    void consider(const std::string& folder, const platform::DirEntry& file) {
        if (policy_.upperCaseDatOnly && !isUpperCaseDat(file.name))
            return;
        auto name = core::parseBackupFileName(file.name);
        const std::size_t chain = name ? chainOf(folder, name->database) : 0;
        // A backup stamped after the run was made under a wrong clock: it anchors nothing. Nor
        // does an empty file, which no server wrote as a backup.
        if (name && name->kind == core::BackupKind::Full && file.size > 0 && name->stamp <= plan_.runTime) {
            auto& newest = chains_[chain].newestFull;
            if (!newest || name->stamp > *newest)
                newest = name->stamp;
            if (!newestFull_ || name->stamp > *newestFull_)
                newestFull_ = name->stamp;
        }
        if (file.modified && isExpired(*file.modified, policy_.term, reference_))
            expired_.push_back({folder + file.name, *file.modified, std::move(name), chain});
    }

    // Deletes what neither rule keeps, in listing order.
    core::RunFailures deleteExpired(core::DailyLog& log, const platform::FileSystem& fs, core::RunStage stage) {
        core::RunFailures failures;
        for (const Expired& file : expired_) {
            if (isTheRunningLog(file.path) || keptForNewestFull(file))
                continue;
            const std::error_code error = fs.deleteFile(file.path);
            core::logDeletion(log, file.path, error);
            if (error)
                failures.push_back({stage, file.path, error.message()});
        }
        return failures;
    }

    // One line per database (and one for the daily logs) whose files the clock alone would
    // have deleted.
    void logKept(core::DailyLog& log) const {
        for (const Chain& chain : chains_)
            if (chain.kept > 0)
                log.line("結果：保持" + S() + "DB名：" + chain.database + S() + "ﾌｫﾙﾀﾞ名：" +
                         withoutSlash(chain.folder) + S() + "ﾌｧｲﾙ数：" + std::to_string(chain.kept) + S() +
                         "原因：最新の完全ﾊﾞｯｸｱｯﾌﾟ(" + platform::formatDateTime(*chain.newestFull) +
                         ")から数えて保存期間内");
        if (othersKept_ > 0)
            log.line("結果：保持" + S() + "ﾌｫﾙﾀﾞ名：" + policy_.folder + S() + "ﾛｸﾞﾌｧｲﾙ数：" +
                     std::to_string(othersKept_) + S() + "原因：最新の完全ﾊﾞｯｸｱｯﾌﾟ(" +
                     platform::formatDateTime(*policy_.othersCountFrom) + ")から数えて保存期間内");
    }

    std::optional<LocalTime> newestFull() const { return newestFull_; }

private:
    std::size_t chainOf(const std::string& folder, const std::string& database) {
        // A folder's files come together, mostly of one database.
        if (!chains_.empty() && chains_[last_].folder == folder && chains_[last_].database == database)
            return last_;
        const auto [at, added] = chainIndex_.try_emplace({folder, database}, chains_.size());
        if (added)
            chains_.push_back({folder, database, std::nullopt, 0});
        return last_ = at->second;
    }

    // Within the term counted back from `anchor`, judged by the day as the clock's rule is.
    bool withinTermOf(LocalTime time, LocalTime anchor) const {
        return platform::dayOf(time) + policy_.term > platform::dayOf(anchor);
    }

    bool keptForNewestFull(const Expired& file) {
        if (!file.name) {
            const bool kept = policy_.othersCountFrom && withinTermOf(file.modified, *policy_.othersCountFrom);
            othersKept_ += kept ? 1 : 0;
            return kept;
        }
        Chain& chain = chains_[file.chain];
        if (!chain.newestFull)
            return false; // no full backup to count from: the clock's rule alone
        const bool kept = file.name->stamp >= *chain.newestFull || withinTermOf(file.name->stamp, *chain.newestFull);
        chain.kept += kept ? 1 : 0;
        return kept;
    }

    // The run appends to its daily log from the pre-check on; a clock far ahead would otherwise
    // find the file just written old.
    bool isTheRunningLog(const std::string& path) const {
        return !plan_.dailyLog.empty() &&
               std::filesystem::path(path).lexically_normal() == plan_.dailyLog.lexically_normal();
    }

    static std::string withoutSlash(const std::string& folder) {
        return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
    }

    const core::RunPlan& plan_;
    const RetentionPolicy& policy_;
    platform::LocalDays reference_;
    std::vector<Chain> chains_;
    std::map<std::pair<std::string, std::string>, std::size_t> chainIndex_;
    std::size_t last_ = 0;
    std::vector<Expired> expired_;
    std::optional<LocalTime> newestFull_;
    std::size_t othersKept_ = 0;
};

} // namespace

std::chrono::days retentionTerm(const core::Term& term, std::optional<std::chrono::days> fallback) {
    if (fallback && !(term.days >= std::chrono::days(1) && term.days <= kLongestTerm))
        return *fallback;
    return term.days;
}

bool isExpired(platform::LocalTime lastModified, std::chrono::days term, platform::LocalDays reference) {
    return platform::dayOf(lastModified) + term <= reference;
}

bool skipForRefusedTerm(core::DailyLog& log, const core::Term& term) {
    if (!term.refused)
        return false;
    log.section("---保持期間の設定「" + term.written + "」が正しくないため、ファイルを削除しませんでした---");
    return true;
}

RetentionResult deleteExpired(const core::ProgramContext& ctx, const core::RunPlan& plan, core::DailyLog& log,
                              const platform::FileSystem& fs, const RetentionPolicy& policy, core::RunStage stage) {
    // The expired files are judged once the listing is complete, since the newest full backup of
    // a folder may be listed after them.
    ExpiryPass pass(plan, policy);
    const auto consider = [&](const std::string& folder, const platform::DirEntry& file) {
        pass.consider(folder, file);
    };
    std::vector<UnreadableFolder> unreadable;
    if (!fnVisitFileList(ctx, plan, fs, policy.folder + "/" + policy.pattern, policy.recurse, consider, &unreadable))
        return {};
    logUnreadableFolders(log, plan, unreadable);
    RetentionResult result{pass.deleteExpired(log, fs, stage), pass.newestFull()};
    pass.logKept(log);
    return result;
}

std::vector<std::string> keepNewestOfDay(std::vector<std::string> listing) {
    if (!listing.empty())
        listing.pop_back();
    return listing;
}

void cleanUpSameDay(const core::ProgramContext& ctx, const core::RunPlan& plan, core::DailyLog& log,
                    const platform::FileSystem& fs, const std::string& folder, std::string_view namePrefix,
                    platform::LocalTime day, CleanUpLines lines) {
    const std::string pattern = folder + "/" + std::string(namePrefix) + platform::formatYmd(day) + "*_INIT.DAT";
    std::vector<std::string> files;
    std::vector<UnreadableFolder> unreadable;
    if (!fnGetFileList(ctx, plan, fs, pattern, true, files, &unreadable))
        return;
    const bool withLines = lines == CleanUpLines::Written;
    if (withLines)
        logUnreadableFolders(log, plan, unreadable);
    for (const auto& file : keepNewestOfDay(std::move(files))) {
        const std::error_code error = fs.deleteFile(file);
        if (withLines)
            core::logDeletion(log, file, error);
    }
}

} // namespace copy
