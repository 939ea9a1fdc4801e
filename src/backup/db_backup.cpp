#include "backup/db_backup.h"

#include "backup/local_retention.h"
#include "common/password.h"
#include "copy/retention.h"
#include "data/ado_connection.h"
#include "data/connection_string.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "scheduler/daily_log.h"
#include "scheduler/lock_table.h"
#include "scheduler/settings.h"

#include <vector>

namespace backup {
namespace {

using scheduler::kIdeographicSpace;

// An argument of the procedure call with its single quotes doubled, so that it stays inside its
// literal.
std::string quoted(std::string_view text) {
    return scheduler::fnSqlText(text, 0);
}

struct Kind {
    std::string_view code;
    std::string_view label;
    std::string_view startLine;
    std::string_view endLine;
};

constexpr Kind kFull{"INIT", "完全バックアップ", "---DBバックアップ(全体) Start---", "---DBバックアップ(全体) End---"};
constexpr Kind kDiff{"DIFF", "差分バックアップ", "---DBバックアップ(差分) Start---", "---DBバックアップ(差分) End---"};
constexpr Kind kLog{"LOG", "トランザクションログバックアップ", "---DBバックアップ(ログ) Start---",
                    "---DBバックアップ(ログ) End---"};

std::string connectionString(const scheduler::ProgramContext& ctx) {
    using data::quoteOleDbValue;
    // Built in room reserved at once and the quoted password wiped: no copy of the password stays
    // behind in freed memory.
    std::string password = quoteOleDbValue(ctx.dbPassword);
    std::string s;
    s.reserve(1024);
    s.append("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=").append(quoteOleDbValue(ctx.dbUser));
    s.append(";Password=").append(password);
    s.append(";Data Source=")
        .append(quoteOleDbValue(scheduler::fnGetServerName(ctx)))
        .append(";Workstation ID=(local);");
    common::wipe(password);
    return s;
}

class Stage {
public:
    explicit Stage(scheduler::ProgramContext& ctx)
        : ctx_(ctx), log_(ctx.dailyLogPath, ctx.clock), fs_(ctx.files), connection_(ctx.dataEnv()),
          stamp_(platform::formatYmdHms(ctx.runTime())), runTimeText_(platform::formatDateTime(ctx.runTime())) {}

    void run() {
        sbDeleteExpiredBackupFiles(ctx_, log_, fs_);
        connection_.ConnectionString = connectionString(ctx_);
        connection_.Open(); // a failed open shows in every backup below
        const auto savedTimeout = connection_.CommandTimeout();
        connection_.CommandTimeout(18000);
        ctx_.backupFiles.reset();
        if (ctx_.dueKinds[scheduler::kDueFull] == "INIT")
            fullStage();
        if (ctx_.dueKinds[scheduler::kDueDiff] == "DIFF")
            partialStage(kDiff, ctx_.backupFiles.diff);
        if (ctx_.dueKinds[scheduler::kDueLog] == "LOG")
            partialStage(kLog, ctx_.backupFiles.log);
        connection_.CommandTimeout(savedTimeout);
        connection_.Close();
    }

private:
    void fullStage() {
        log_.section(kFull.startLine);
        sameDayCleanUp("SABRELUND", true);
        const auto& names = ctx_.settings.databases;
        for (std::size_t i = 0; i < names.size(); ++i) {
            backUpDatabase(kFull, i, ctx_.backupFiles.full);
            if (i == 0)
                backUpSystemDatabases();
        }
        log_.section(kFull.endLine);
    }

    // Differential and log backups never let the run count as flawless.
    void partialStage(const Kind& kind, std::vector<std::string>& files) {
        log_.section(kind.startLine);
        ctx_.runError = true;
        for (std::size_t i = 0; i < ctx_.settings.databases.size(); ++i)
            backUpDatabase(kind, i, files);
        log_.section(kind.endLine);
    }

    void backUpDatabase(const Kind& kind, std::size_t index, std::vector<std::string>& files) {
        const std::string& name = ctx_.settings.databases[index];
        const std::string folder = ctx_.settings.path + "/" + name;
        if (!fs_.folderExists(folder))
            fs_.createFolder(folder); // a failure shows in the backup that follows
        const std::string file = folder + "/" + name + "_" + stamp_ + "_" + std::string(kind.code) + ".DAT";
        files.resize(index + 1);
        files[index] = file;
        const std::string S(kIdeographicSpace);
        if (platform::cp932Length(file) > kMaxBackupPathBytes) {
            log_.line("結果：未実行" + S + "DB名：" + name + S + "原因：DBﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙﾌﾙﾊﾟｽの文字数ｵｰﾊﾞｰ");
            if (kind.code == kFull.code)
                ctx_.runError = true;
            return;
        }
        const auto result = connection_.Execute(backupCommand(name, file, kind.code, kind.label, runTimeText_));
        if (result.ok) {
            ctx_.backupFiles.written.push_back(file);
            log_.line("結果：成功" + S + "DB名：" + name + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + file);
            return;
        }
        ctx_.ui.messageBox("バックアップ処理に失敗しました。\r\n\r\nVARO DA-ZAVヘルプにご連絡ください｡ ",
                           "Sabrelundスケジュールバックアップ", platform::MsgIcon::Critical);
        ctx_.runError = true;
        logFailure(name, file, result.description);
    }

    void logFailure(std::string_view name, const std::string& file, std::string_view description) {
        const std::string S(kIdeographicSpace);
        log_.line("結果：失敗" + S + "DB名：" + std::string(name) + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + file);
        scheduler::logErrorDescription(log_, description);
    }

    // master, msdb and model go with every full backup. Only a refusal is written (without a box),
    // so that a server that cannot back up its own databases does not go unnoticed; the run's
    // error flag is left alone.
    void backUpSystemDatabases() {
        for (const auto& [name, upper, output] : {std::tuple{"master", "MASTER", &ctx_.backupFiles.master},
                                                  std::tuple{"msdb", "MSDB", &ctx_.backupFiles.msdb},
                                                  std::tuple{"model", "MODEL", &ctx_.backupFiles.model}}) {
            sameDayCleanUp(upper, false);
            const std::string file = ctx_.settings.path + "/" + upper + "_" + stamp_ + "_INIT.DAT";
            *output = file;
            if (platform::cp932Length(file) > kMaxBackupPathBytes)
                continue;
            const auto result = connection_.Execute(backupCommand(name, file, kFull.code, kFull.label, runTimeText_));
            if (result.ok)
                ctx_.backupFiles.written.push_back(file);
            else
                logFailure(name, file, result.description);
        }
    }

    // Keeps the newest of the day's earlier full backups of `prefix`: with the new one, at most
    // two remain.
    void sameDayCleanUp(std::string_view prefix, bool withLines) {
        copy::cleanUpSameDay(ctx_, log_, fs_, ctx_.settings.path, std::string(prefix) + "_", ctx_.clock.now(),
                             withLines ? copy::CleanUpLines::Written : copy::CleanUpLines::Silent);
    }

    scheduler::ProgramContext& ctx_;
    scheduler::DailyLog log_;
    const platform::FileSystem& fs_;
    data::AdoConnection connection_;
    std::string stamp_;
    std::string runTimeText_;
};

} // namespace

std::string backupCommand(std::string_view name, std::string_view file, std::string_view kind, std::string_view label,
                          std::string_view runTime) {
    return "master..SSP_BackUPDB '" + quoted(name) + "', '" + quoted(file) + "', '" + quoted(kind) + "', '" +
           quoted(label) + "', '" + quoted(runTime) + "'";
}

void sbDBBackup(scheduler::ProgramContext& ctx) {
    Stage(ctx).run();
}

} // namespace backup
