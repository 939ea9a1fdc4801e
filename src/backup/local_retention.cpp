#include "backup/local_retention.h"

#include "copy/retention.h"

namespace backup {

core::RunFailures sbDeleteExpiredBackupFiles(const core::ProgramContext& ctx, const core::RunPlan& plan,
                                             core::DailyLog& log, const platform::FileSystem& fs) {
    log.section("---保存期間を過ぎたファイルの削除 Start---");
    const auto& settings = plan.settings;
    // The local term is taken as loaded: the load keeps it within 1..999.
    const auto term = copy::retentionTerm(settings.localPreserveTerm, std::nullopt);
    const auto reference = platform::dayOf(plan.runTime);
    // Backups anywhere below the folder; the daily logs in the folder itself, in any case.
    const copy::RetentionPolicy backups{settings.path, "*.DAT", term, true, true};
    const copy::RetentionPolicy dailyLogs{settings.path, "*.log", term, false, false};
    core::RunFailures failures;
    for (const auto& policy : {backups, dailyLogs})
        for (auto& failure : copy::deleteExpired(ctx, plan, log, fs, policy, reference, core::RunStage::LocalRetention))
            failures.push_back(std::move(failure));
    log.section("---保存期間を過ぎたファイルの削除 End---");
    return failures;
}

} // namespace backup
