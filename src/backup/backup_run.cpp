#include "backup/backup_run.h"

#include "backup/db_backup.h"
#include "backup/db_list.h"
#include "backup/temp_log_purge.h"
#include "copy/external_copy.h"
#include "core/connection.h"
#include "core/daily_log.h"
#include "core/run_lock.h"

namespace backup {

BackupRun::BackupRun(core::ProgramContext& services, const core::Settings& settings, platform::LocalTime runTime,
                     core::BackupKinds due, std::function<void()> progress)
    : ctx_(services), plan_{settings,    runTime, due, core::dailyLogPathFor(settings, runTime), std::move(progress),
                            &unreadable_} {}

void BackupRun::section(std::string_view text) const {
    // The run opens the log around each of its own lines; the stages hold it open for theirs.
    core::DailyLog(plan_.dailyLog, ctx_.clock).section(text);
}

// A failure here is shown as the tick shows it (the settings' message only: the server's own
// refusal has no box in a run) and then written into the log.
bool BackupRun::connect() {
    using core::RunStage;
    if (const auto db = core::fnGetDbObject(ctx_, session_); !db) {
        core::reportDbObjectFailure(ctx_.ui, db.failure);
        core::DailyLog(plan_.dailyLog, ctx_.clock).line("【DBﾊﾞｯｸｱｯﾌﾟ未実行】\u3000原因：DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ");
        report_.failures.push_back({RunStage::Connection, "", "DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ"});
        return false;
    }
    if (const auto failure = fnReadDBList(session_); failure != DbListFailure::None) {
        reportDbListFailure(ctx_.ui, failure);
        core::DailyLog(plan_.dailyLog, ctx_.clock).line("【DBﾊﾞｯｸｱｯﾌﾟ未実行】  原因：ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ");
        report_.failures.push_back({RunStage::DatabaseList, "", "ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ"});
        return false;
    }
    return true;
}

core::RunReport BackupRun::run() {
    core::RunLock exclusive(ctx_.programDir); // a restore check of this folder waits for the run
    exclusive.acquire();
    report_ = {};
    unreadable_ = {};
    report_.started = ctx_.clock.now();
    report_.dailyLog = plan_.dailyLog;
    section("---------スケジュールバックアップ Start---------");
    if (connect()) {
        auto database = sbDBBackup(ctx_, plan_, session_);
        report_.files = std::move(database.files);
        report_.partialKindsDue = database.partialKindsDue;
        report_.add(std::move(database.failures));
    }
    // Without the database stage the file lists stay empty: no earlier run's files are copied.
    report_.add(copy::sbFileCopyToOutside(ctx_, plan_, report_.files));
    section("---------スケジュールバックアップ End---------");
    sbDeleteTempLog(ctx_, plan_);
    session_.release();
    report_.unreadableFolders = unreadable_.paths();
    report_.finished = ctx_.clock.now();
    return std::move(report_);
}

} // namespace backup
