#include "backup/db_backup.h"

#include "backup/local_retention.h"
#include "copy/retention.h"
#include "core/backup_names.h"
#include "core/daily_log.h"
#include "core/lock_table.h"
#include "core/settings.h"
#include "data/ado_connection.h"
#include "data/sql_text.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"

#include <vector>

namespace backup {
namespace {

using core::kIdeographicSpace;

// An argument of the procedure call with its single quotes doubled, so that it stays inside its
// literal.
std::string quoted(std::string_view text) {
    return core::fnSqlText(text, 0);
}

struct Kind {
    core::BackupKind kind;
    std::string_view label;
    std::string_view startLine;
    std::string_view endLine;
};

// The server-side procedure that writes a backup file; "{}" marks where an argument goes. The
// arguments are Unicode literals (N'...'): a literal without N is converted to the code page of
// the current database's collation, so a Japanese database name or path would reach a server
// installed with a Latin collation as "?" and its backup would fail.
constexpr std::string_view kBackupCommand = R"(master..SSP_BackUPDB N'{}', N'{}', N'{}', N'{}', N'{}')";

constexpr Kind kFull{core::BackupKind::Full, "完全バックアップ", "---DBバックアップ(全体) Start---",
                     "---DBバックアップ(全体) End---"};
constexpr Kind kDiff{core::BackupKind::Diff, "差分バックアップ", "---DBバックアップ(差分) Start---",
                     "---DBバックアップ(差分) End---"};
constexpr Kind kLog{core::BackupKind::Log, "トランザクションログバックアップ", "---DBバックアップ(ログ) Start---",
                    "---DBバックアップ(ログ) End---"};

class Stage {
public:
    Stage(const core::ProgramContext& ctx, const core::RunPlan& plan, const core::DbSession& session)
        : ctx_(ctx), session_(session), plan_(plan), settings_(plan.settings), log_(plan.dailyLog, ctx),
          connection_(ctx.dataEnv()), runTimeText_(platform::formatDateTime(plan.runTime)) {}

    // After a stop nothing further starts and no line follows: the line of the stop ends the run.
    DatabaseStageResult run() {
        result_.failures = sbDeleteExpiredBackupFiles(ctx_, plan_, log_);
        if (plan_.stopped())
            return std::move(result_);
        // A failed open shows in every backup below.
        connection_.Open(core::fnGetServerName(ctx_), session_.user, session_.password);
        const auto savedTimeout = connection_.CommandTimeout();
        connection_.CommandTimeout(18000);
        if (plan_.due(core::BackupKind::Full))
            fullStage();
        if (plan_.due(core::BackupKind::Diff))
            partialStage(kDiff, result_.files.diff);
        if (plan_.due(core::BackupKind::Log))
            partialStage(kLog, result_.files.log);
        connection_.CommandTimeout(savedTimeout);
        connection_.Close();
        return std::move(result_);
    }

private:
    void fullStage() {
        if (plan_.stopped())
            return;
        log_.section(kFull.startLine);
        sameDayCleanUp("SABRELUND", true);
        const auto& names = settings_.databases;
        for (std::size_t i = 0; i < names.size() && !plan_.stopped(); ++i) {
            backUpDatabase(kFull, i, result_.files.full);
            if (i == 0)
                backUpSystemDatabases();
        }
        if (!plan_.stopped())
            log_.section(kFull.endLine);
    }

    // Differential and log backups never let the run count as flawless.
    void partialStage(const Kind& kind, std::vector<std::string>& files) {
        result_.partialKindsDue = true;
        if (plan_.stopped())
            return;
        log_.section(kind.startLine);
        for (std::size_t i = 0; i < settings_.databases.size() && !plan_.stopped(); ++i)
            backUpDatabase(kind, i, files);
        if (!plan_.stopped())
            log_.section(kind.endLine);
    }

    void backUpDatabase(const Kind& kind, std::size_t index, std::vector<std::string>& files) {
        const std::string& name = settings_.databases[index];
        const std::string folder = settings_.path + "/" + name;
        if (!ctx_.files.folderExists(folder))
            ctx_.files.createFolder(folder); // a failure shows in the backup that follows
        const std::string file = folder + "/" + core::backupFileName(name, plan_.runTime, kind.kind);
        files.resize(index + 1);
        files[index] = file;
        const std::string S(kIdeographicSpace);
        if (platform::cp932Length(file) > kMaxBackupPathBytes) {
            log_.line("結果：未実行" + S + "DB名：" + name + S + "原因：DBﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙﾌﾙﾊﾟｽの文字数ｵｰﾊﾞｰ");
            if (kind.kind == core::BackupKind::Full)
                fail(name, "backup path too long");
            return;
        }
        const auto result =
            connection_.Execute(backupCommand(name, file, core::kindCode(kind.kind), kind.label, runTimeText_));
        if (result.ok) {
            result_.files.written.push_back(file);
            log_.line("結果：成功" + S + "DB名：" + name + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + file);
            return;
        }
        if (plan_.stopped())
            return; // the stop cancelled the backup: no failure of the server's
        ctx_.ui.messageBox("バックアップ処理に失敗しました。\r\n\r\nVARO DA-ZAVヘルプにご連絡ください｡ ",
                           "Sabrelundスケジュールバックアップ", platform::MsgIcon::Critical);
        fail(name, result.description);
        logFailure(name, file, result.description);
    }

    void fail(const std::string& database, std::string reason) {
        result_.failures.push_back({core::RunStage::DatabaseBackup, database, std::move(reason)});
    }

    void logFailure(std::string_view name, const std::string& file, std::string_view description) {
        const std::string S(kIdeographicSpace);
        log_.line("結果：失敗" + S + "DB名：" + std::string(name) + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + file);
        core::logErrorDescription(log_, description);
    }

    // master, msdb and model go with every full backup. Only a refusal is written (without a box),
    // so that a server that cannot back up its own databases does not go unnoticed; it is not one
    // of the run's failures.
    void backUpSystemDatabases() {
        auto& files = result_.files;
        for (const auto& [name, upper, output] :
             {std::tuple{"master", "MASTER", &files.master}, std::tuple{"msdb", "MSDB", &files.msdb},
              std::tuple{"model", "MODEL", &files.model}}) {
            if (plan_.stopped())
                return;
            sameDayCleanUp(upper, false);
            const std::string file = settings_.path + "/" + core::backupFileName(upper, plan_.runTime, kFull.kind);
            *output = file;
            if (platform::cp932Length(file) > kMaxBackupPathBytes)
                continue;
            const auto result =
                connection_.Execute(backupCommand(name, file, core::kindCode(kFull.kind), kFull.label, runTimeText_));
            if (result.ok)
                files.written.push_back(file);
            else if (!plan_.stopped())
                logFailure(name, file, result.description);
        }
    }

    // Keeps the newest of the day's earlier full backups of `prefix`: with the new one, at most
    // two remain.
    void sameDayCleanUp(std::string_view prefix, bool withLines) {
        copy::cleanUpSameDay(ctx_, plan_, log_, settings_.path, std::string(prefix) + "_", ctx_.clock.now(),
                             withLines ? copy::CleanUpLines::Written : copy::CleanUpLines::Silent);
    }

    const core::ProgramContext& ctx_;
    const core::DbSession& session_;
    const core::RunPlan& plan_;
    const core::Settings& settings_;
    core::DailyLog log_;
    data::AdoConnection connection_;
    std::string runTimeText_;
    DatabaseStageResult result_;
};

} // namespace

std::string backupCommand(std::string_view name, std::string_view file, std::string_view kind, std::string_view label,
                          std::string_view runTime) {
    return data::fillSql(kBackupCommand, {quoted(name), quoted(file), quoted(kind), quoted(label), quoted(runTime)});
}

DatabaseStageResult sbDBBackup(const core::ProgramContext& ctx, const core::RunPlan& plan,
                               const core::DbSession& session) {
    return Stage(ctx, plan, session).run();
}

} // namespace backup
