#include "backup/local_retention.h"

#include "copy/retention.h"

namespace backup {

core::RunFailures sbDeleteExpiredBackupFiles(const core::ProgramContext& ctx, const core::RunPlan& plan,
                                             core::DailyLog& log, const platform::FileSystem& fs) {
    log.section("---保存期間を過ぎたファイルの削除 Start---");
    const auto& settings = plan.settings;
    core::RunFailures failures;
    if (!copy::skipForRefusedTerm(log, settings.localPreserveTerm)) {
        // The local term is taken as loaded: the load keeps it within 1..999.
        const auto term = copy::retentionTerm(settings.localPreserveTerm, std::nullopt);
        // Backups anywhere below the folder; then the daily logs in the folder itself, in any
        // case, which stay as long as the backups they tell of.
        const copy::RetentionPolicy backups{settings.path, "*.DAT", term, true, true};
        auto result = copy::deleteExpired(ctx, plan, log, fs, backups, core::RunStage::LocalRetention);
        failures = std::move(result.failures);
        const copy::RetentionPolicy dailyLogs{settings.path, "*.log", term, false, false, result.newestFull};
        for (auto& failure :
             copy::deleteExpired(ctx, plan, log, fs, dailyLogs, core::RunStage::LocalRetention).failures)
            failures.push_back(std::move(failure));
    }
    log.section("---保存期間を過ぎたファイルの削除 End---");
    return failures;
}

} // namespace backup
