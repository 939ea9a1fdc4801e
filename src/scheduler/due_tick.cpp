#include "scheduler/due_tick.h"

#include "common/messages.h"
#include "common/string_utils.h"
#include "core/connection.h"
#include "core/daily_log.h"
#include "core/last_run.h"
#include "core/lock_table.h"
#include "core/settings.h"
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
        core::DailyLog(logPath_, ctx_.clock).section("---" + std::string(what) + std::string(kRetryLater) + "---");
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
    core::DailyLog(logPath, ctx.clock).section("---" + std::string(kBusyLockSkipped) + "---");
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
    {
        core::DailyLog log(logPath, ctx.clock);
        log.section("---------スケジュールバックアップ 事前チェックStart---------");
    }
    bool preCheckError = false;
    const bool copyOn = copyIsOn(common::trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "EXECUTE")));
    if (!copyOn) {
        core::DailyLog(logPath, ctx.clock).section("---外部媒体へのバックアップ設定ができていません。---");
        preCheckError = true;
    }
    const std::string local = common::trim(core::fnGetScheduleIni(ctx, "Schedule", "Path"));
    if (!fs.folderExists(local))
        ctx.ui.messageBox(unreachableText(local), "スケジュールバックアップ フォルダ設定", MsgIcon::Exclamation);
    if (copyOn) {
        const std::pair<const char*, const char*> targets[] = {
            {"DBBACKUPFILE_DIR", "ローカル以外のＤＢファイルバックアップ フォルダ設定"},
            {"KEYFILE_DIR", "ローカル以外の証明書ファイルバックアップ フォルダ設定"},
            {"GIJYUTUFILE_DIR", "ローカル以外の技術資料ファイルバックアップ フォルダ設定"},
        };
        for (const auto& [key, title] : targets) {
            const std::string folder = common::trim(core::fnGetScheduleIni(ctx, "FILE_COPY", key));
            if (fs.folderExists(folder))
                continue;
            ctx.ui.messageBox(unreachableText(folder), title, MsgIcon::Exclamation);
            core::DailyLog(logPath, ctx.clock)
                .section("---" + folder + " にアクセスできませんでした｡対象ドライブを確認してください｡ ---");
            preCheckError = true;
        }
    }
    core::DailyLog log(logPath, ctx.clock);
    if (!preCheckError)
        log.section("---事前チェックエラー無し---");
    log.section("---------スケジュールバックアップ 事前チェックEND---------");
}

void recordLastRun(const core::ProgramContext& ctx, const core::RunReport& report) {
    if (const std::error_code error = core::recordLastRun(ctx.programDir, report))
        core::DailyLog(report.dailyLog, ctx.clock)
            .section("---" + core::lastRunPath(ctx.programDir).string() + " を書き込めませんでした：" +
                     error.message() + "---");
}

void recordBackupTime(const core::ProgramContext& ctx, ResidentSettings& held, const core::RunReport& report) {
    if (!report.flawless())
        return;
    held.writeStateKey(ctx, "BACKUPTIME", "START", platform::formatDateTime(report.started));
    held.writeStateKey(ctx, "BACKUPTIME", "END", platform::formatDateTime(report.finished));
}

DueTickEnd runDueTick(core::ProgramContext& ctx, const TickState& tick, ResidentSettings& held,
                      LockTableTrouble& trouble, const DueTickServices& services) {
    // The pre-check writes into the log of the settings held now; the run names its own from the
    // settings loaded again below.
    const std::filesystem::path logPath = core::dailyLogPathFor(held.current(), tick.runTime(ctx.clock));
    writePreCheck(ctx, logPath);
    const LockFailures lockFailures(ctx, trouble, logPath);

    // The tick's own logins: one before the run and one after it; the run logs in for itself.
    core::DbSession session;
    if (const auto db = core::fnGetDbObject(ctx, session); !db) {
        core::reportDbObjectFailure(ctx.ui, db.failure);
        ctx.ui.messageBox("DBオブジェクトの取得に失敗しました。", "", MsgIcon::Critical);
        return DueTickEnd::TimerOn;
    }
    if (!services.loadDatabaseList(ctx, session))
        return DueTickEnd::TimerOn;

    std::vector<core::HaitaKanriRecord> rows;
    if (!core::fnSelectLockRows(session, rows))
        return lockFailures.fail(kReadFailed, [&] { common::fnQRMES01_DispMessage(ctx.ui, 3010, 0, "", "", ""); });
    const auto foreign = checkForeignBackup(ctx, session, rows, lockFailures);
    if (const auto* end = std::get_if<DueTickEnd>(&foreign))
        return *end;
    if (std::get<ForeignLock>(foreign) == ForeignLock::Busy) {
        reportBusyLock(ctx, logPath);
        return DueTickEnd::TimerOn; // once the other backup ends, the next due time runs
    }
    if (const auto end = removeOwnLockRow(session, lockFailures))
        return *end;

    held.writeStateKey(ctx, "Schedule", "Iniflg", "0");
    if (!core::fnInsertLockRow(ctx, session, kOwnLockName))
        return lockFailures.shown(kInsertFailed);

    repairSettingsIfNeeded(ctx, session, services);
    // Held from here on also when a rule failed, as the load goes to the end.
    core::LoadedSettings loaded = core::fnLoadSettings(ctx, session.serverDatabases);
    held.adopt(std::move(loaded.settings));
    if (!loaded.ok) {
        common::fnQRMES01_DispMessage(ctx.ui, 3001, 0, "設定の取得", "", "");
        return DueTickEnd::TimerOn; // the lock row stays until the next due tick removes it
    }

    session.release();
    const core::RunReport report = services.runBackup(ctx, tick, held.current(), services.progress);
    recordBackupTime(ctx, held, report);
    recordLastRun(ctx, report);

    if (const auto db = core::fnGetDbObject(ctx, session); !db) {
        core::reportDbObjectFailure(ctx.ui, db.failure);
        return DueTickEnd::TimerOn;
    }
    if (!services.loadDatabaseList(ctx, session))
        return DueTickEnd::TimerOn;
    if (const auto end = removeOwnLockRow(session, lockFailures))
        return *end;
    session.release();
    return DueTickEnd::RunCompleted;
}

} // namespace scheduler
