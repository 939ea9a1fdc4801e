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
    scheduler::ProgramContext& ctx;
    scheduler::DailyLog& log;
    const platform::FileSystem& fs;
    long term;
    platform::LocalDays reference;

    void run(const std::string& pattern, bool recurse, bool upperCaseDatOnly) {
        std::vector<std::string> files;
        std::vector<copy::UnreadableFolder> unreadable;
        if (!copy::fnGetFileList(ctx, fs, pattern, recurse, files, &unreadable))
            return;
        copy::logUnreadableFolders(log, unreadable);
        for (const auto& path : files)
            consider(path, upperCaseDatOnly);
    }

    void consider(const std::string& path, bool upperCaseDatOnly) {
        // The listing matches without regard to case; only upper-case backup files are ours.
        if (upperCaseDatOnly && !endsWithUpperCaseDat(path))
            return;
        std::error_code ec;
        const auto modified = fs.lastModified(path, ec);
        if (!modified)
            return; // gone since it was listed
        if (!isExpired(*modified, term, reference))
            return;
        const std::error_code error = fs.deleteFile(path);
        scheduler::logDeletion(log, path, error);
        if (error)
            ctx.runError = true;
    }
};

} // namespace

bool isExpired(platform::LocalTime lastModified, long termDays, platform::LocalDays reference) {
    return platform::dayOf(lastModified) + std::chrono::days(termDays) <= reference;
}

void sbDeleteExpiredBackupFiles(scheduler::ProgramContext& ctx, scheduler::DailyLog& log,
                                const platform::FileSystem& fs) {
    log.section("---保存期間を過ぎたファイルの削除 Start---");
    Pass pass{ctx, log, fs, long(common::fnVal(ctx.settings.localPreserveTerm)), platform::dayOf(ctx.runTime())};
    pass.run(ctx.settings.path + "/*.DAT", true, true);
    pass.run(ctx.settings.path + "/*.log", false, false);
    log.section("---保存期間を過ぎたファイルの削除 End---");
}

} // namespace backup
