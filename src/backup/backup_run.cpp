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
                     core::BackupKinds due, std::stop_token stop)
    : ctx_(services), plan_{settings,        runTime,     due, core::dailyLogPathFor(settings, runTime),
                            std::move(stop), &unreadable_} {}

void BackupRun::section(std::string_view text) const {
    // The run opens the log around each of its own lines; the stages hold it open for theirs.
    core::DailyLog(plan_.dailyLog, ctx_).section(text);
}

// A failure here is shown as the tick shows it (the settings' message only: the server's own
// refusal has no box in a run) and then written into the log; a login a stop cut short is none.
bool BackupRun::connect() {
    using core::RunStage;
    if (const auto db = core::fnGetDbObject(ctx_, session_); !db) {
        if (plan_.stopped())
            return false;
        core::reportDbObjectFailure(ctx_.ui, db.failure);
        core::DailyLog(plan_.dailyLog, ctx_).line("【DBﾊﾞｯｸｱｯﾌﾟ未実行】\u3000原因：DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ");
        report_.failures.push_back({RunStage::Connection, "", "DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ"});
        return false;
    }
    if (const auto failure = fnReadDBList(session_); failure != DbListFailure::None) {
        if (plan_.stopped())
            return false;
        reportDbListFailure(ctx_.ui, failure);
        core::DailyLog(plan_.dailyLog, ctx_).line("【DBﾊﾞｯｸｱｯﾌﾟ未実行】  原因：ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ");
        report_.failures.push_back({RunStage::DatabaseList, "", "ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ"});
        return false;
    }
    return true;
}

core::RunReport BackupRun::run() {
    report_ = {};
    unreadable_ = {};
    report_.started = ctx_.clock.now();
    report_.dailyLog = plan_.dailyLog;
    core::RunLock exclusive(ctx_.programDir); // a restore check of this folder waits for the run
    exclusive.acquireWhile([this] { return !plan_.stopped(); }, std::chrono::milliseconds(200));
    runStages();
    session_.release();
    report_.stopped = plan_.stopped();
    report_.unreadableFolders = unreadable_.paths();
    report_.finished = ctx_.clock.now();
    return std::move(report_);
}

// After a stop nothing further starts, not even the end line: the line of the stop ends the run.
void BackupRun::runStages() {
    const auto stopped = [this] { return plan_.stopped(); };
    if (stopped())
        return;
    section("---------スケジュールバックアップ Start---------");
    if (connect()) {
        auto database = sbDBBackup(ctx_, plan_, session_);
        report_.files = std::move(database.files);
        report_.partialKindsDue = database.partialKindsDue;
        report_.add(std::move(database.failures));
    }
    if (stopped())
        return;
    // Without the database stage the file lists stay empty: no earlier run's files are copied.
    report_.add(copy::sbFileCopyToOutside(ctx_, plan_, report_.files));
    if (stopped())
        return;
    section("---------スケジュールバックアップ End---------");
    sbDeleteTempLog(ctx_, plan_);
}

} // namespace backup
