#include "backup/local_retention.h"

#include "common/string_utils.h"
#include "copy/file_list.h"

#include <vector>

namespace backup {
namespace {

// The last four code page 932 bytes of the path are ".DAT". None of these bytes can be the
// second half of a double-byte character whose first half is one of them, so the test equals a
// plain suffix test on the UTF-8 text; it spares a conversion per file.
bool endsWithUpperCaseDat(std::string_view path) {
    return path.ends_with(".DAT");
}

struct Pass {
    const scheduler::ProgramContext& ctx;
    const scheduler::RunPlan& plan;
    scheduler::DailyLog& log;
    const platform::FileSystem& fs;
    long term;
    platform::LocalDays reference;
    scheduler::RunFailures failures;

    void run(const std::string& pattern, bool recurse, bool upperCaseDatOnly) {
        // The expired files are deleted once the listing is complete, after the lines of the
        // folders it left out; only they are kept until then.
        std::vector<std::string> expired;
        const auto consider = [&](const std::string& folder, const platform::DirEntry& file) {
            // The listing matches without regard to case; only upper-case backup files are ours.
            if (upperCaseDatOnly && !endsWithUpperCaseDat(file.name))
                return;
            if (file.modified && isExpired(*file.modified, term, reference)) // no time: gone since listed
                expired.push_back(folder + file.name);
        };
        std::vector<copy::UnreadableFolder> unreadable;
        if (!copy::fnVisitFileList(ctx, plan, fs, pattern, recurse, consider, &unreadable))
            return;
        copy::logUnreadableFolders(log, unreadable);
        for (const auto& path : expired)
            remove(path);
    }

    void remove(const std::string& path) {
        const std::error_code error = fs.deleteFile(path);
        scheduler::logDeletion(log, path, error);
        if (error)
            failures.push_back({scheduler::RunStage::LocalRetention, path, error.message()});
    }
};

} // namespace

bool isExpired(platform::LocalTime lastModified, long termDays, platform::LocalDays reference) {
    return platform::dayOf(lastModified) + std::chrono::days(termDays) <= reference;
}

scheduler::RunFailures sbDeleteExpiredBackupFiles(const scheduler::ProgramContext& ctx, const scheduler::RunPlan& plan,
                                                  scheduler::DailyLog& log, const platform::FileSystem& fs) {
    log.section("---保存期間を過ぎたファイルの削除 Start---");
    const auto& settings = plan.settings;
    Pass pass{ctx, plan, log, fs, settings.localPreserveTerm.days.count(), platform::dayOf(plan.runTime), {}};
    pass.run(settings.path + "/*.DAT", true, true);
    pass.run(settings.path + "/*.log", false, false);
    log.section("---保存期間を過ぎたファイルの削除 End---");
    return std::move(pass.failures);
}

} // namespace backup
