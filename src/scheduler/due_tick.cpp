#include "scheduler/due_tick.h"

#include "common/messages.h"
#include "common/string_utils.h"
#include "core/connection.h"
#include "core/daily_log.h"
#include "core/last_run.h"
#include "core/lock_table.h"
#include "core/settings.h"
#include "data/statement_cancel.h"
#include "platform/filesystem.h"

#include <optional>
#include <utility>
#include <variant>

namespace scheduler {
namespace {

using platform::MsgIcon;

// EXECUTE as read afresh: "1" switches the copy on; anything else, also a text the settings
// load would have repaired, counts as off.
bool copyIsOn(const std::string& execute) {
    return execute == "1";
}

std::string unreachableText(const std::string& path) {
    return path + " にアクセスできませんでした。対象ドライブを確認してください。";
}

void showLockFailure(core::ProgramContext& ctx, std::string_view text) {
    ctx.ui.messageBox(text, "", MsgIcon::Critical);
}

constexpr std::string_view kDeleteFailed = "排他管理テーブルからレコード削除に失敗しました。";
constexpr std::string_view kSearchFailed = "排他管理テーブルのレコード検索に失敗しました。";
constexpr std::string_view kInsertFailed = "排他管理テーブルへレコード追加に失敗しました。";
constexpr std::string_view kReadFailed = "排他管理テーブルの読込みに失敗しました。"; // message 3010
constexpr std::string_view kRetryLater = "バックアップを行わず、次の予定時刻に再試行します。";

// A failure of the lock table ends the tick, and the timer stays on: the next due time tries
// again. Its boxes (shown by `showBoxes`), one daily-log line and one notice tell it; a failure
// that repeats at every due time is shown once until a run goes through again, so that nobody
// comes back to a stack of boxes. The log line is written each time: it records the due time
// that was lost.
class LockFailures {
public:
    LockFailures(core::ProgramContext& ctx, LockTableTrouble& trouble, std::filesystem::path logPath)
        : ctx_(ctx), trouble_(trouble), logPath_(std::move(logPath)) {}

    DueTickEnd fail(std::string_view what, const std::function<void()>& showBoxes) const {
        core::DailyLog(logPath_, ctx_).section("---" + std::string(what) + std::string(kRetryLater) + "---");
        if (!std::exchange(trouble_.told, true)) {
            showBoxes();
            ctx_.ui.notice(std::string(what) + std::string(kRetryLater), platform::kProgramTitle);
        }
        return DueTickEnd::LockTableFailed;
    }

    // A failed deletion of lock rows: the box naming the rows, then the tick's own.
    DueTickEnd deleteFailed(const core::LockRowsDeletion& deletion) const {
        return fail(kDeleteFailed, [&] {
            ctx_.ui.messageBox(deletion.failureText, "", MsgIcon::Critical);
            showLockFailure(ctx_, kDeleteFailed);
        });
    }
    DueTickEnd shown(std::string_view text) const {
        return fail(text, [&] { showLockFailure(ctx_, text); });
    }

private:
    core::ProgramContext& ctx_;
    LockTableTrouble& trouble_;
    std::filesystem::path logPath_;
};

// A fresh foreign backup row means another program is backing up now; a stale one is removed.
enum class ForeignLock { None, Busy, Removed };

std::variant<ForeignLock, DueTickEnd> checkForeignBackup(core::ProgramContext& ctx, core::DbSession& session,
                                                         const std::vector<core::HaitaKanriRecord>& rows,
                                                         const LockFailures& failures) {
    for (const auto& row : rows) {
        if (common::trim(row.テーブル名称) != kForeignBackupLockName)
            continue;
        if (ctx.clock.now() - row.更新日 < kStaleLockAge)
            return ForeignLock::Busy;
        const auto deletion = core::fnDeleteLockRows(session, kForeignBackupLockName);
        if (deletion)
            return ForeignLock::Removed;
        return failures.deleteFailed(deletion);
    }
    return ForeignLock::None;
}

constexpr std::string_view kBusyLockSkipped =
    "他のバックアップが排他管理テーブルのロックを保持しているため、バックアップをスキップしました。";

// A due backup is never skipped without a word.
void reportBusyLock(core::ProgramContext& ctx, const std::filesystem::path& logPath) {
    core::DailyLog(logPath, ctx).section("---" + std::string(kBusyLockSkipped) + "---");
    ctx.ui.notice(kBusyLockSkipped, "");
}

// Deletes this program's row when one exists; the tick's ending when that fails.
std::optional<DueTickEnd> removeOwnLockRow(core::DbSession& session, const LockFailures& failures) {
    bool found = false;
    if (!core::fnFindLockRow(session, kOwnLockName, found))
        return failures.shown(kSearchFailed);
    if (!found)
        return std::nullopt;
    if (const auto deletion = core::fnDeleteLockRows(session, kOwnLockName); !deletion)
        return failures.deleteFailed(deletion);
    return std::nullopt;
}

// Invalid settings open the dialog so that the user can put them right before the run.
void repairSettingsIfNeeded(core::ProgramContext& ctx, core::DbSession& session, const DueTickServices& services) {
    if (core::fnCheckIniContents(ctx, session.serverDatabases))
        return;
    ctx.ui.messageBox("環境設定画面を起動します。", "メッセージ", MsgIcon::Exclamation);
    session.release();
    if (services.openSettings)
        services.openSettings(session);
}

} // namespace

void writePreCheck(const core::ProgramContext& ctx, const std::filesystem::path& logPath) {
    const platform::FileSystem& fs = ctx.files;
    core::DailyLog(logPath, ctx).section("---------スケジュールバックアップ 事前チェックStart---------");
    // The settings as they are now, through the load's own reading.
    const core::SettingsTexts now = core::readSettingsTexts(ctx);
    bool preCheckError = false;
    const bool copyOn = copyIsOn(now.execute);
    if (!copyOn) {
        core::DailyLog(logPath, ctx).section("---外部媒体へのバックアップ設定ができていません。---");
        preCheckError = true;
    }
    if (!fs.folderExists(now.path))
        ctx.ui.messageBox(unreachableText(now.path), "スケジュールバックアップ フォルダ設定", MsgIcon::Exclamation);
    if (copyOn) {
        const std::pair<const std::string*, const char*> targets[] = {
            {&now.dbBackupFileDir, "ローカル以外のＤＢファイルバックアップ フォルダ設定"},
            {&now.keyFileDir, "ローカル以外の証明書ファイルバックアップ フォルダ設定"},
            {&now.gijyutuFileDir, "ローカル以外の技術資料ファイルバックアップ フォルダ設定"},
        };
        for (const auto& [folder, title] : targets) {
            if (fs.folderExists(*folder))
                continue;
            ctx.ui.messageBox(unreachableText(*folder), title, MsgIcon::Exclamation);
            core::DailyLog(logPath, ctx)
                .section("---" + *folder + " にアクセスできませんでした｡対象ドライブを確認してください｡ ---");
            preCheckError = true;
        }
    }
    core::DailyLog log(logPath, ctx);
    if (!preCheckError)
        log.section("---事前チェックエラー無し---");
    log.section("---------スケジュールバックアップ 事前チェックEND---------");
}

void recordLastRun(const core::ProgramContext& ctx, const core::RunReport& report) {
    if (const std::error_code error = core::recordLastRun(ctx.programDir, report))
        core::DailyLog(report.dailyLog, ctx)
            .section("---" + core::lastRunPath(ctx.programDir).string() + " を書き込めませんでした：" +
                     error.message() + "---");
}

void recordBackupTime(const core::ProgramContext& ctx, ResidentSettings& held, const core::RunReport& report) {
    if (!report.flawless())
        return;
    held.writeStateKey(ctx, "BACKUPTIME", "START", platform::formatDateTime(report.started));
    held.writeStateKey(ctx, "BACKUPTIME", "END", platform::formatDateTime(report.finished));
}

namespace {

platform::RunSummary summaryOf(const core::RunReport& report) {
    const char* result = report.stopped ? "stopped" : report.failures.empty() ? "ok" : "failed";
    return {platform::formatDateTime(report.started), platform::formatDateTime(report.finished), result,
            report.files.written.size(), report.failures.size()};
}

// One due tick's work from the pre-check to the release of the lock row. Everything up to the
// end of the run can be cut short by a stop: its statements run in one group, which the stop
// cancels, and a step the stop cut short reports nothing. The release of the lock row is never
// cancelled.
class DueTick {
public:
    DueTick(DueTickJob& job, const DueTickServices& services)
        : job_(job), ctx_(job.ctx), services_(services),
          // The pre-check writes into the log of the settings held now; the run names its own from
          // the settings loaded again before it.
          logPath_(core::dailyLogPathFor(job.held.current(), job.tick.runTime(ctx_.clock))),
          lockFailures_(ctx_, job.lockTrouble, logPath_) {
        job_.stop.setDailyLog(logPath_);
    }

    DueTickResult run() {
        std::optional<DueTickEnd> endedEarly;
        {
            const data::StatementGroupScope cancellable(&statements_);
            const std::stop_callback cancel(job_.stop.token(), [this] { statements_.cancel(); });
            endedEarly = beforeTheRun();
            if (!endedEarly && !stopped())
                runTheBackup();
        }
        if (stopped())
            return endByStop();
        if (endedEarly)
            return {*endedEarly, std::nullopt};
        return afterTheRun();
    }

private:
    bool stopped() const { return job_.stop.requested(); }

    // Pre-check, connection, lock rows, settings: an ending when the tick ends before the run;
    // none when the run is to be made (or a stop cut the steps short).
    std::optional<DueTickEnd> beforeTheRun() {
        writePreCheck(ctx_, logPath_);
        // The tick's own logins: one before the run and one after it; the run logs in for itself.
        if (const auto db = core::fnGetDbObject(ctx_, session_); !db) {
            if (stopped())
                return std::nullopt;
            core::reportDbObjectFailure(ctx_.ui, db.failure);
            ctx_.ui.messageBox("DBオブジェクトの取得に失敗しました。", "", MsgIcon::Critical);
            return DueTickEnd::NoRun;
        }
        if (!services_.loadDatabaseList(ctx_, session_))
            return stopped() ? std::nullopt : std::optional(DueTickEnd::NoRun);
        if (const auto end = takeLock())
            return end;
        if (stopped())
            return std::nullopt;
        repairSettingsIfNeeded(ctx_, session_, services_);
        if (stopped())
            return std::nullopt;
        // Held from here on also when a rule failed, as the load goes to the end.
        core::LoadedSettings loaded = core::fnLoadSettings(ctx_, session_.serverDatabases);
        job_.held.adopt(std::move(loaded.settings));
        if (!loaded.ok) {
            common::fnQRMES01_DispMessage(ctx_.ui, 3001, 0, "設定の取得", "", "");
            return DueTickEnd::NoRun; // the lock row stays until the next due tick removes it
        }
        session_.release();
        return std::nullopt;
    }

    // The foreign row, the own left-over row and the own new row.
    std::optional<DueTickEnd> takeLock() {
        std::vector<core::HaitaKanriRecord> rows;
        if (!core::fnSelectLockRows(session_, rows)) {
            if (stopped())
                return std::nullopt;
            return lockFailures_.fail(kReadFailed,
                                      [&] { common::fnQRMES01_DispMessage(ctx_.ui, 3010, 0, "", "", ""); });
        }
        const auto foreign = checkForeignBackup(ctx_, session_, rows, lockFailures_);
        if (const auto* end = std::get_if<DueTickEnd>(&foreign))
            return stopped() ? std::nullopt : std::optional(*end);
        if (std::get<ForeignLock>(foreign) == ForeignLock::Busy) {
            reportBusyLock(ctx_, logPath_);
            return DueTickEnd::NoRun; // once the other backup ends, the next due time runs
        }
        if (const auto end = removeOwnLockRow(session_, lockFailures_))
            return stopped() ? std::nullopt : end;
        job_.held.writeStateKey(ctx_, "Schedule", "Iniflg", "0");
        if (!core::fnInsertLockRow(ctx_, session_, kOwnLockName))
            return stopped() ? std::nullopt : std::optional(lockFailures_.shown(kInsertFailed));
        locked_ = true;
        return std::nullopt;
    }

    void runTheBackup() {
        job_.stop.setDailyLog(core::dailyLogPathFor(job_.held.current(), job_.tick.runTime(ctx_.clock)));
        report_ = services_.runBackup(ctx_, job_.tick, job_.held.current(), job_.stop.token());
        recordBackupTime(ctx_, job_.held, *report_);
        recordLastRun(ctx_, *report_);
        ctx_.ui.runFinished(summaryOf(*report_));
    }

    DueTickResult afterTheRun() {
        if (const auto db = core::fnGetDbObject(ctx_, session_); !db) {
            core::reportDbObjectFailure(ctx_.ui, db.failure);
            return {DueTickEnd::NoRun, std::move(report_)};
        }
        if (!services_.loadDatabaseList(ctx_, session_))
            return {DueTickEnd::NoRun, std::move(report_)};
        if (const auto end = removeOwnLockRow(session_, lockFailures_))
            return {*end, std::move(report_)};
        session_.release();
        return {DueTickEnd::RunCompleted, std::move(report_)};
    }

    // The stop's line ends the run in its daily log; then the own row goes, without a box: the
    // program is ending, and a row left behind is removed by the next due tick.
    DueTickResult endByStop() {
        session_.release();
        job_.stop.writeLine(ctx_);
        if (locked_) {
            platform::SilentUiSink silent;
            core::ProgramContext quiet(ctx_.clock, silent, ctx_.files, ctx_.programDir);
            core::DbSession session;
            if (core::fnGetDbObject(quiet, session))
                core::fnDeleteLockRows(session, kOwnLockName);
        }
        return {DueTickEnd::Stopped, std::move(report_)};
    }

    DueTickJob& job_;
    core::ProgramContext& ctx_;
    const DueTickServices& services_;
    const std::filesystem::path logPath_;
    const LockFailures lockFailures_;
    data::StatementGroup statements_;
    core::DbSession session_;
    std::optional<core::RunReport> report_;
    bool locked_ = false;
};

} // namespace

DueTickResult runDueTick(DueTickJob& job, const DueTickServices& services) {
    return DueTick(job, services).run();
}

} // namespace scheduler
