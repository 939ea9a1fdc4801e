#include "copy/retention.h"

namespace copy {
namespace {

constexpr std::chrono::days kLongestTerm{999};

// The last four code page 932 bytes of a name are ".DAT" exactly when its UTF-8 text ends so:
// none of these bytes can be the second half of a double-byte character whose first half is one
// of them. The plain suffix test spares a conversion per file.
bool isUpperCaseDat(std::string_view name) {
    return name.ends_with(".DAT");
}

} // namespace

std::chrono::days retentionTerm(const core::Term& term, std::optional<std::chrono::days> fallback) {
    if (fallback && !(term.days >= std::chrono::days(1) && term.days <= kLongestTerm))
        return *fallback;
    return term.days;
}

bool isExpired(platform::LocalTime lastModified, std::chrono::days term, platform::LocalDays reference) {
    return platform::dayOf(lastModified) + term <= reference;
}

core::RunFailures deleteExpired(const core::ProgramContext& ctx, const core::RunPlan& plan, core::DailyLog& log,
                                const platform::FileSystem& fs, const RetentionPolicy& policy,
                                platform::LocalDays reference, core::RunStage stage) {
    // The expired files are deleted once the listing is complete, after the lines of the folders
    // it left out; only they are kept until then.
    std::vector<std::string> expired;
    const auto consider = [&](const std::string& folder, const platform::DirEntry& file) {
        if (policy.upperCaseDatOnly && !isUpperCaseDat(file.name))
            return;
        if (file.modified && isExpired(*file.modified, policy.term, reference))
            expired.push_back(folder + file.name);
    };
    std::vector<UnreadableFolder> unreadable;
    if (!fnVisitFileList(ctx, plan, fs, policy.folder + "/" + policy.pattern, policy.recurse, consider, &unreadable))
        return {};
    logUnreadableFolders(log, unreadable);
    core::RunFailures failures;
    for (const auto& path : expired) {
        const std::error_code error = fs.deleteFile(path);
        core::logDeletion(log, path, error);
        if (error)
            failures.push_back({stage, path, error.message()});
    }
    return failures;
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
        logUnreadableFolders(log, unreadable);
    for (const auto& file : keepNewestOfDay(std::move(files))) {
        const std::error_code error = fs.deleteFile(file);
        if (withLines)
            core::logDeletion(log, file, error);
    }
}

} // namespace copy
