// Whole scheduled runs: the tick, the lock rows, the run driver, the database stage and the
// daily log, against the stand-in server through FreeTDS.
#include "support/run_site.h"
#include "support/standin_backup_image.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

using platform::makeLocalTime;
using testsupport::RunSite;

namespace {

const std::string S = "\u3000";

std::vector<std::string> slice(const std::vector<std::string>& v, std::size_t from, std::size_t to) {
    return {v.begin() + std::ptrdiff_t(std::min(from, v.size())), v.begin() + std::ptrdiff_t(std::min(to, v.size()))};
}

std::size_t indexOf(const std::vector<std::string>& lines, const std::string& line) {
    return std::size_t(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

// Rows of a table in a backup file, whose image is opened as the SQLite database it is.
int rowsIn(const std::string& file, const std::string& table) {
    sqlite3* db = testsupport::openStandinBackupImage(file);
    int count = -1;
    sqlite3_stmt* st = nullptr;
    if (db &&
        sqlite3_prepare_v2(db, ("SELECT COUNT(*) FROM \"" + table + "\"").c_str(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        count = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return count;
}

const std::vector<std::string> kPurge = {"<ts>  ---Pelmoraログファイルの削除 Start---", std::string(40, '-'),
                                         "90日経過ファイルが対象", std::string(40, '-'),
                                         "<ts>  ---Pelmoraログファイルの削除 End---"};

} // namespace

TEST(ScheduledRun, AFullBackupOfTwoDatabasesWritesTheRoadOfTheRun) {
    RunSite site;
    site.server.execute("CREATE TABLE 物件 (名前 NVARCHAR(20)); INSERT INTO 物件 VALUES (N'本社'), (N'支店')",
                        "SABRELUND");
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const std::string b = site.backupDir();
    const std::string first = b + "/SABRELUND/SABRELUND_20261203020030_INIT.DAT";
    const std::string second = b + "/SALES/SALES_20261203020030_INIT.DAT";
    std::vector<std::string> expected = {
        "<ts>  ---------スケジュールバックアップ 事前チェックStart---------",
        "<ts>  ---外部媒体へのバックアップ設定ができていません。---",
        "<ts>  ---------スケジュールバックアップ 事前チェックEND---------",
        "<ts>  ---------スケジュールバックアップ Start---------",
        "<ts>  ---保存期間を過ぎたファイルの削除 Start---",
        "<ts>  ---保存期間を過ぎたファイルの削除 End---",
        "<ts>  ---DBバックアップ(全体) Start---",
        "結果：成功" + S + "DB名：SABRELUND" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + first,
        "結果：成功" + S + "DB名：SALES" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + second,
        "<ts>  ---DBバックアップ(全体) End---",
        "<ts>  ---バックアップコピー処理を実施フラグがOFFのためスキップ---",
        "<ts>  ---------スケジュールバックアップ End---------",
    };
    expected.insert(expected.end(), kPurge.begin(), kPurge.end());
    EXPECT_EQ(site.dailyLog(), expected);
    EXPECT_TRUE(site.ui.lines.empty());

    EXPECT_EQ(rowsIn(first, "物件"), 2); // real, readable copies
    EXPECT_EQ(rowsIn(second, "sqlite_master"), 0);
    for (const char* system : {"MASTER", "MSDB", "MODEL"})
        EXPECT_GE(rowsIn(b + "/" + system + "_20261203020030_INIT.DAT", "sqlite_master"), 0) << system;

    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "2026/12/03 02:00:30");
    EXPECT_EQ(site.setting("BACKUPTIME", "END"), "2026/12/03 02:00:30");
    EXPECT_EQ(site.setting("Schedule", "Iniflg"), "0");
    EXPECT_TRUE(site.lockRows().empty());
}

TEST(ScheduledRun, FullAndLogTogetherRunBothStagesAndRecordNoBackupTime) {
    RunSite site;
    site.ini["ScheduleLOG"] = {{"Day", "127"}, {"Time", "02:00"}};
    site.applySettings();
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const auto log = site.dailyLog();
    const auto start = indexOf(log, "<ts>  ---DBバックアップ(ログ) Start---");
    ASSERT_LT(start, log.size());
    EXPECT_GT(start, indexOf(log, "<ts>  ---DBバックアップ(全体) End---"));
    EXPECT_EQ(slice(log, start + 1, start + 4),
              (std::vector<std::string>{"結果：成功" + S + "DB名：SABRELUND" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" +
                                            site.backupDir() + "/SABRELUND/SABRELUND_20261203020030_LOG.DAT",
                                        "結果：成功" + S + "DB名：SALES" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + site.backupDir() +
                                            "/SALES/SALES_20261203020030_LOG.DAT",
                                        "<ts>  ---DBバックアップ(ログ) End---"}));
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "");
}

TEST(ScheduledRun, AFailingBackupIsShownLoggedAndFailsTheRun) {
    RunSite site({.failingBackups = {"SALES"}});
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    const auto log = site.dailyLog();
    const auto failed = indexOf(log, "結果：失敗" + S + "DB名：SALES" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + site.backupDir() +
                                         "/SALES/SALES_20261203020030_INIT.DAT");
    ASSERT_LT(failed + 1, log.size());
    EXPECT_EQ(log[failed + 1].rfind("Err.Description：[FreeTDS][SQL Server]", 0), 0u) << log[failed + 1];
    EXPECT_NE(log[failed + 1].find("SALES"), std::string::npos);
    EXPECT_EQ(site.ui.lines, std::vector<std::string>{
                                 "MSGBOX\tcritical\tSabrelundスケジュールバックアップ\t"
                                 "バックアップ処理に失敗しました。\\r\\n\\r\\nVARO DA-ZAVヘルプにご連絡ください｡ "});
    EXPECT_EQ(site.setting("BACKUPTIME", "END"), "");
    EXPECT_TRUE(site.lockRows().empty());
}

TEST(ScheduledRun, ARefusedSystemBackupIsLoggedWithoutABoxAndLeavesTheRunsFlag) {
    RunSite site({.failingBackups = {"msdb"}});
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    const auto log = site.dailyLog();
    const std::string b = site.backupDir();
    const auto first = indexOf(log, "結果：成功" + S + "DB名：SABRELUND" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + b +
                                        "/SABRELUND/SABRELUND_20261203020030_INIT.DAT");
    ASSERT_LT(first + 3, log.size());
    EXPECT_EQ(log[first + 1],
              "結果：失敗" + S + "DB名：msdb" + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + b + "/MSDB_20261203020030_INIT.DAT");
    EXPECT_EQ(log[first + 2].rfind("Err.Description：[FreeTDS][SQL Server]", 0), 0u) << log[first + 2];
    EXPECT_NE(log[first + 2].find("msdb"), std::string::npos);
    EXPECT_EQ(log[first + 3].rfind("結果：成功" + S + "DB名：SALES", 0), 0u) << log[first + 3];
    EXPECT_TRUE(site.ui.lines.empty());
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "2026/12/03 02:00:30");
}

TEST(ScheduledRun, SameDayRunsKeepTheNewestEarlierFullBackupOfTheProduct) {
    RunSite site;
    for (auto at : {makeLocalTime(2026, 12, 3, 2, 0, 10), makeLocalTime(2026, 12, 3, 2, 1, 10),
                    makeLocalTime(2026, 12, 3, 2, 2, 10)}) {
        site.ini["ScheduleAll"]["Time"] = platform::formatHm(at);
        site.applySettings();
        site.tickAt(at);
    }
    const std::string folder = site.backupDir() + "/SABRELUND/";
    EXPECT_FALSE(std::filesystem::exists(folder + "SABRELUND_20261203020010_INIT.DAT"));
    EXPECT_TRUE(std::filesystem::exists(folder + "SABRELUND_20261203020110_INIT.DAT"));
    EXPECT_TRUE(std::filesystem::exists(folder + "SABRELUND_20261203020210_INIT.DAT"));
    EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/SALES/SALES_20261203020010_INIT.DAT"));
    EXPECT_FALSE(std::filesystem::exists(site.backupDir() + "/MASTER_20261203020010_INIT.DAT"));
    EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/MASTER_20261203020110_INIT.DAT"));

    const auto log = site.dailyLog();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "結果：成功" + S + "削除ﾌｧｲﾙ名：" + folder + "SABRELUND_20261203020010_INIT.DAT"),
              1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "<ts>  ---------スケジュールバックアップ Start---------"), 3);
}

TEST(ScheduledRun, AFreshForeignBackupSkipsOneDueTimeSayingSoAndAStaleOneIsCleared) {
    RunSite site;
    const auto foreignRow = [&](const std::string& when) {
        site.server.execute("DELETE FROM 排他管理; INSERT INTO 排他管理 (更新日, 削除区分, ＫＥＹテーブル名称２, "
                            "テーブル名称) VALUES ('" +
                                when + "', '0', N'x', N'バックアップ')",
                            "SABRELUND");
    };
    const auto tickIfOnAt = [&](const std::string& hhmm, int minute) {
        site.ini["ScheduleAll"]["Time"] = hhmm;
        site.applySettings();
        site.tickAt(makeLocalTime(2026, 12, 3, 2, minute, 0));
    };
    const std::string skipped =
        "他のバックアップが排他管理テーブルのロックを保持しているため、バックアップをスキップしました。";
    foreignRow("2026-12-03 01:50:00"); // another program has been backing up for ten minutes
    tickIfOnAt("02:00", 0);
    EXPECT_EQ(site.ui.lines, std::vector<std::string>{"NOTICE	スケジュールバックアップ	" + skipped});
    EXPECT_EQ(site.dailyLog().back(), "<ts>  ---" + skipped + "---");
    EXPECT_FALSE(std::filesystem::exists(site.backupDir() + "/SALES"));
    EXPECT_EQ(site.setting("Schedule", "Iniflg"), ""); // nothing announced

    site.server.execute("DELETE FROM 排他管理", "SABRELUND"); // the other backup has ended
    tickIfOnAt("02:05", 5);
    EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/SALES/SALES_20261203020500_INIT.DAT"));

    foreignRow("2026-12-02 01:00:00"); // 25 hours old: left behind by a program that ended
    tickIfOnAt("02:10", 10);
    EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/SALES/SALES_20261203021000_INIT.DAT"));
    EXPECT_TRUE(site.lockRows().empty());
    EXPECT_EQ(site.ui.lines.size(), 1u);
}

TEST(ScheduledRun, ASelectionLongerThanAnyOtherValueIsBackedUpWhole) {
    RunSite site;
    std::string db;
    std::vector<std::string> names;
    for (int i = 1; i <= 9; ++i) {
        names.push_back("SALES_BRANCH_00" + std::to_string(i)); // 16 characters
        site.server.createDatabase(names.back());
        db += (db.empty() ? "" : "\t") + names.back();
    }
    site.ini["Schedule"]["Db"] = db; // 152 bytes
    site.applySettings();
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    EXPECT_TRUE(site.ui.lines.empty());
    for (const auto& name : names)
        EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/" + name + "/" + name + "_20261203020030_INIT.DAT"))
            << name;
}

TEST(ScheduledRun, TheOwnLockRowIsHeldDuringTheRunAndALeftOverOneIsReplaced) {
    RunSite site;
    site.server.execute("INSERT INTO 排他管理 (更新日, 削除区分, ＫＥＹテーブル名称２, テーブル名称) VALUES "
                        "('2026-12-01 00:00:00', '0', N'x', N'スケジュールバックアップ')",
                        "SABRELUND");
    std::vector<std::string> rowsDuringRun;
    std::string flagDuringRun;
    site.services.runBackup = [&](core::ProgramContext& c, const scheduler::TickState& state,
                                  const core::Settings& settings, std::stop_token stop) {
        for (const auto& row : site.lockRows())
            rowsDuringRun.push_back(row[0].value_or("NULL"));
        flagDuringRun = site.setting("Schedule", "Iniflg");
        return backup::sbScheduleBackupRun(c, state, settings, stop);
    };
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 0));
    EXPECT_EQ(rowsDuringRun, std::vector<std::string>{"スケジュールバックアップ"});
    EXPECT_EQ(flagDuringRun, "0");
    EXPECT_TRUE(site.lockRows().empty());
}

TEST(ScheduledRun, ConnectionAndListFailuresAreLoggedAndTheRunGoesOn) {
    RunSite site;
    scheduler::TickState due;
    due.currentTick = makeLocalTime(2026, 12, 3, 2, 0, 0);
    due.due = core::BackupKind::Full;
    site.ini["(local)"]["PASSWORD"] = site.storedPassword("wrong");
    site.writeSettings();
    const auto report = backup::sbScheduleBackupRun(site.ctx, due, site.tick.settings().current(), {});
    auto log = site.dailyLog();
    EXPECT_EQ(slice(log, 0, 4),
              (std::vector<std::string>{"<ts>  ---------スケジュールバックアップ Start---------",
                                        "【DBﾊﾞｯｸｱｯﾌﾟ未実行】" + S + "原因：DBｵﾌﾞｼﾞｪｸﾄ取得ｴﾗｰ",
                                        "<ts>  ---バックアップコピー処理を実施フラグがOFFのためスキップ---",
                                        "<ts>  ---------スケジュールバックアップ End---------"}));
    EXPECT_FALSE(report.flawless());

    site.ini["(local)"]["PASSWORD"] = site.storedPassword(site.server.password());
    site.writeSettings();
    // A server with nothing but its system databases, reached through master.
    site.server.execute("DROP DATABASE [SALES]");
    site.server.execute("DROP DATABASE [SABRELUND]");
    std::filesystem::remove(site.dir / "backup" / "20261203.log");
    testsupport::writeFile(site.dir / "program" / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                                   std::to_string(site.server.port()) +
                                                                   "\r\nDB_NAME=master\r\n");
    backup::sbScheduleBackupRun(site.ctx, due, site.tick.settings().current(), {});
    log = site.dailyLog();
    EXPECT_EQ(slice(log, 1, 2), std::vector<std::string>{"【DBﾊﾞｯｸｱｯﾌﾟ未実行】  原因：ﾃﾞｰﾀﾍﾞｰｽ一覧取得ｴﾗｰ"});
    EXPECT_EQ(site.ui.lines.back(), "MESSAGE\t3004\tデータベース\t\t");
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "");
}

TEST(ScheduledRun, PreCheckReportsUnreachableFoldersThenTheSettingsCheckOffersTheDialog) {
    RunSite site;
    site.copyOn();
    // Not a folder, so not a medium that is merely unplugged: the settings are wrong.
    const std::string keys = (site.dir / "keys").string();
    testsupport::writeFile(keys, "a file");
    site.ini["FILE_COPY"]["KEYFILE_DIR"] = keys;
    site.writeSettings();
    site.ui.lines.clear();
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 0));
    const auto log = site.dailyLog();
    EXPECT_EQ(slice(log, 0, 3),
              (std::vector<std::string>{"<ts>  ---------スケジュールバックアップ 事前チェックStart---------",
                                        "<ts>  ---" + keys +
                                            " にアクセスできませんでした｡対象ドライブを確認してください｡ ---",
                                        "<ts>  ---------スケジュールバックアップ 事前チェックEND---------"}));
    ASSERT_FALSE(site.ui.lines.empty());
    EXPECT_EQ(site.ui.lines.front(), "MSGBOX\texclamation\tローカル以外の証明書ファイルバックアップ フォルダ設定\t" +
                                         keys + " にアクセスできませんでした。対象ドライブを確認してください。");
    // The settings no longer pass their check: the dialog is offered, then the run is skipped.
    EXPECT_EQ(
        slice(site.ui.lines, 1, 4),
        (std::vector<std::string>{"MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                                  "Sabrelund証明書フォルダ　コピー先フォルダの設定が正しくありません。",
                                  "MSGBOX\texclamation\tメッセージ\t環境設定画面を起動します。", "DIALOG\tsettings"}));
    EXPECT_EQ(site.ui.lines.back(), "MESSAGE\t3001\t設定の取得\t\t");
    EXPECT_EQ(site.lockRows().size(), 1u); // stays until the next due tick clears it
}

TEST(ScheduledRun, AnOwnLockRowThatCannotBeRemovedAfterTheRunIsShownAndTheTimerStaysOn) {
    RunSite site;
    site.services.runBackup = [&](core::ProgramContext& c, const scheduler::TickState& state,
                                  const core::Settings& settings, std::stop_token stop) {
        auto report = backup::sbScheduleBackupRun(c, state, settings, stop);
        // The row can still be found, but a deletion that names the deletion flag is refused.
        site.server.execute("DROP TABLE 排他管理; CREATE TABLE 排他管理 (テーブル名称 NVARCHAR(128) NULL); "
                            "INSERT INTO 排他管理 VALUES (N'スケジュールバックアップ')",
                            "SABRELUND");
        return report;
    };
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    EXPECT_EQ(site.ui.lines, (std::vector<std::string>{
                                 "MSGBOX\tcritical\tスケジュールバックアップ\t排他管理テーブルから「テーブル名称 = "
                                 "'スケジュールバックアップ'」のレコードを削除できませんでした。",
                                 "MSGBOX\tcritical\tスケジュールバックアップ\t"
                                 "排他管理テーブルからレコード削除に失敗しました。",
                                 "NOTICE\tスケジュールバックアップ\t排他管理テーブルからレコード削除に失敗しました。"
                                 "バックアップを行わず、次の予定時刻に再試行します。"}));
    EXPECT_EQ(site.lockRows().size(), 1u);
}

TEST(ScheduledRun, SettingsPutRightInTheOfferedDialogAreWhatTheRunBacksUpAndWhatTheTickHolds) {
    RunSite site;
    site.ini["Schedule"]["LocalPreserveTerm"] = "1000"; // loads as 30 days, but fails the check
    site.writeSettings();
    site.ui.onSettingsDialog = [&] {
        site.ini["Schedule"]["Db"] = "SALES";
        site.ini["Schedule"]["LocalPreserveTerm"] = "30";
        site.writeSettings();
    };
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 0));
    EXPECT_TRUE(std::filesystem::exists(site.dir / "backup" / "SALES"));
    EXPECT_FALSE(std::filesystem::exists(site.dir / "backup" / "SABRELUND"));
    EXPECT_EQ(site.tick.settings().current().databases, std::vector<std::string>{"SALES"});
    EXPECT_NE(site.setting("BACKUPTIME", "START"), "");
}
