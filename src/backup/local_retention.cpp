#include "backup/local_retention.h"

#include "copy/retention.h"

namespace backup {

void sbDeleteExpiredBackupFiles(scheduler::ProgramContext& ctx, scheduler::DailyLog& log,
                                const platform::FileSystem& fs) {
    log.section("---保存期間を過ぎたファイルの削除 Start---");
    // The local term is taken as written: the settings check keeps it to three digits.
    const auto term = copy::retentionTerm(ctx.settings.localPreserveTerm, std::nullopt);
    const auto reference = platform::dayOf(ctx.runTime());
    // Backups anywhere below the folder; the daily logs in the folder itself, in any case.
    const copy::RetentionPolicy backups{ctx.settings.path, "*.DAT", term, true, true};
    const copy::RetentionPolicy dailyLogs{ctx.settings.path, "*.log", term, false, false};
    for (const auto& policy : {backups, dailyLogs})
        if (!copy::deleteExpired(ctx, log, fs, policy, reference))
            ctx.runError = true;
    log.section("---保存期間を過ぎたファイルの削除 End---");
}

} // namespace backup
