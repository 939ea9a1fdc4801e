#include "backup/run_driver.h"

#include "backup/db_backup.h"
#include "backup/db_list.h"
#include "backup/temp_log_purge.h"
#include "copy/external_copy.h"
#include "scheduler/connection.h"
#include "scheduler/daily_log.h"
#include "scheduler/settings.h"

namespace backup {
namespace {

// The driver opens the log around each of its own lines.
void logSection(const scheduler::ProgramContext& ctx, std::string_view text) {
    scheduler::DailyLog(ctx.dailyLogPath, ctx.clock).section(text);
}

void logLine(const scheduler::ProgramContext& ctx, std::string_view text) {
    scheduler::DailyLog(ctx.dailyLogPath, ctx.clock).line(text);
}

} // namespace

void sbScheduleBackupRun(scheduler::ProgramContext& ctx) {
    const std::string startText = platform::formatDateTime(ctx.clock.now());
    ctx.runError = false;
    // A run that never reaches the database stage must not copy an earlier run's files.
    ctx.backupFiles.reset();
    ctx.dailyLogPath = scheduler::dailyLogPathFor(ctx);
    logSection(ctx, "---------スケジュールバックアップ Start---------");

    if (!scheduler::fnGetDbObject(ctx)) {
        logLine(ctx, "【DBﾊﾞｯｸｱｯﾌﾟ未実行】\u3000原因：DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ");
        ctx.runError = true;
    } else if (!fnLoadDBList(ctx)) {
        logLine(ctx, "【DBﾊﾞｯｸｱｯﾌﾟ未実行】  原因：ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ");
        ctx.runError = true;
    } else {
        sbDBBackup(ctx);
    }
    copy::sbFileCopyToOutside(ctx);
    logSection(ctx, "---------スケジュールバックアップ End---------");
    sbDeleteTempLog(ctx);
    ctx.releaseDatabase();

    if (!ctx.runError) {
        scheduler::writeScheduleIni(ctx, "BACKUPTIME", "START", startText);
        scheduler::writeScheduleIni(ctx, "BACKUPTIME", "END", platform::formatDateTime(ctx.clock.now()));
    }
}

} // namespace backup
