// Backups that must survive what a year of unattended operation brings: a month of refused
// backups, a clock far ahead, mistyped terms, a lock table gone for a minute. Whole scheduled runs
// against the stand-in server through FreeTDS.
#include "support/run_site.h"

#include <gtest/gtest.h>

#include <set>

using platform::LocalTime;
using platform::makeLocalTime;
using std::chrono::days;
using testsupport::RunSite;

namespace {

namespace fs = std::filesystem;

// A backup file made before the test's runs, dated as its name says.
void placeBackup(const fs::path& file, LocalTime made) {
    testsupport::writeFile(file, "an earlier backup");
    ASSERT_FALSE(platform::LocalFileSystem().setLastModified(file, made));
}

std::set<std::string> filesBelow(const fs::path& root) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            out.insert(e.path().string());
    return out;
}

bool hasLineStartingWith(const std::vector<std::string>& lines, const std::string& start) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

// One due time a day at 02:00, with the tick of the minute before it.
void runDaily(RunSite& site, LocalTime firstDay, int count) {
    for (int d = 0; d < count; ++d) {
        const LocalTime day = firstDay + days(d);
        site.tickAt(day + std::chrono::minutes(119) + std::chrono::seconds(30));
        site.tickAt(day + std::chrono::minutes(120) + std::chrono::seconds(30));
    }
}

} // namespace

TEST(BackupsThatSurvive, AMonthOfRefusedBackupsKeepsTheLastGoodFullBackupAndItsCopy) {
    RunSite site({.failingBackups = {"SALES"}}, makeLocalTime(2026, 11, 1, 1, 0, 0));
    site.ini["Schedule"]["LocalPreserveTerm"] = "3";
    site.copyOn();
    site.ini["FILE_COPY"]["OutSidePreserveTerm"] = "3";
    site.applySettings();
    const std::string lastGood = "SALES/SALES_20261031020000_INIT.DAT", older = "SALES/SALES_20261020020000_INIT.DAT";
    for (const fs::path& root : {site.dir / "backup", site.dir / "ext"}) {
        placeBackup(root / lastGood, makeLocalTime(2026, 10, 31, 2, 0, 0));
        placeBackup(root / older, makeLocalTime(2026, 10, 20, 2, 0, 0));
    }

    runDaily(site, makeLocalTime(2026, 11, 1), 30);

    for (const fs::path& root : {site.dir / "backup", site.dir / "ext"}) {
        SCOPED_TRACE(root.string());
        EXPECT_TRUE(fs::exists(root / lastGood));
        EXPECT_FALSE(fs::exists(root / older)); // more than the term before the last good one
        // The database that was backed up keeps only its last days.
        EXPECT_FALSE(fs::exists(root / "SABRELUND" / "SABRELUND_20261101020030_INIT.DAT"));
        EXPECT_TRUE(fs::exists(root / "SABRELUND" / "SABRELUND_20261130020030_INIT.DAT"));
    }
    const auto log = site.dailyLog("20261130");
    EXPECT_TRUE(
        hasLineStartingWith(log, "結果：保持\u3000DB名：SALES\u3000ﾌｫﾙﾀﾞ名：" + site.backupDir() + "/SALES\u3000"))
        << "no line tells why the expired backup stays";
}

TEST(BackupsThatSurvive, ARunWithTheClockAYearAheadKeepsEveryEarlierBackupAndDailyLog) {
    RunSite site({}, makeLocalTime(2026, 12, 1, 1, 0, 0));
    site.copyOn();
    site.applySettings();
    runDaily(site, makeLocalTime(2026, 12, 1), 5);
    const std::set<std::string> before = filesBelow(site.dir / "backup"), copies = filesBelow(site.dir / "ext");
    ASSERT_GE(before.size(), 5u * 5u);

    runDaily(site, makeLocalTime(2027, 12, 6), 1);

    const std::set<std::string> after = filesBelow(site.dir / "backup"), copiesAfter = filesBelow(site.dir / "ext");
    for (const auto& f : before)
        EXPECT_TRUE(after.count(f)) << f;
    for (const auto& f : copies)
        EXPECT_TRUE(copiesAfter.count(f)) << f;
    EXPECT_TRUE(after.count(site.backupDir() + "/SALES/SALES_20271206020030_INIT.DAT"));
}

TEST(BackupsThatSurvive, MistypedTermsDeleteNothingAndTheBackupsAreStillMade) {
    RunSite site;
    site.copyOn();
    site.ini["Schedule"]["LocalPreserveTerm"] = "3O"; // a letter O
    site.ini["Schedule"]["TEMPLOGTERM"] = "9O";
    site.ini["FILE_COPY"]["OutSidePreserveTerm"] = "6O";
    site.writeSettings();
    const std::string old = "SALES/SALES_20260101020000_INIT.DAT", newer = "SALES/SALES_20261101020000_INIT.DAT";
    for (const fs::path& root : {site.dir / "backup", site.dir / "ext"}) {
        placeBackup(root / old, makeLocalTime(2026, 1, 1, 2, 0, 0));
        placeBackup(root / newer, makeLocalTime(2026, 11, 1, 2, 0, 0));
    }
    const fs::path workFolder = site.dir / "product" / "Temp" / "20200101000000123";
    fs::create_directories(workFolder);

    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    EXPECT_TRUE(fs::exists(site.dir / "backup" / old));
    EXPECT_TRUE(fs::exists(site.dir / "ext" / old));
    EXPECT_TRUE(fs::exists(workFolder));
    EXPECT_TRUE(fs::exists(site.dir / "backup" / "SALES" / "SALES_20261203020030_INIT.DAT"));
    EXPECT_TRUE(fs::exists(site.dir / "ext" / "SALES" / "SALES_20261203020030_INIT.DAT"));
    const auto log = site.dailyLog();
    for (const char* setting : {"LocalPreserveTerm=3O", "OutSidePreserveTerm=6O", "TEMPLOGTERM=9O"})
        EXPECT_NE(std::find(log.begin(), log.end(),
                            "<ts>  ---保持期間の設定「" + std::string(setting) +
                                "」が正しくないため、ファイルを削除しませんでした---"),
                  log.end())
            << setting;
    // The check before the run names the first bad term and offers the dialog.
    EXPECT_EQ(site.ui.lines.front(), "MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                                     "ローカルバックアップ保持期間の設定が正しくありません。");
}

TEST(BackupsThatSurvive, ALockTableGoneForAMinuteCostsOnlyThatDueTimeAndIsToldOncePerOutage) {
    RunSite site({}, makeLocalTime(2026, 12, 2, 1, 0, 0));
    site.ini["ScheduleLOG"] = {{"Day", "127"}, {"Time", "02:05"}};
    site.applySettings();
    const auto at = [&](int day, int h, int m) { site.tickAt(makeLocalTime(2026, 12, day, h, m, 30)); };
    const auto dropLockTable = [&] { site.server.execute("DROP TABLE 排他管理", "SABRELUND"); };
    at(2, 1, 59);
    at(2, 2, 0); // the first full backup

    const std::string told = "NOTICE\tスケジュールバックアップ\t排他管理テーブルの読込みに失敗しました。"
                             "バックアップを行わず、次の予定時刻に再試行します。";
    at(3, 1, 59);
    dropLockTable();
    at(3, 2, 0);
    EXPECT_EQ(site.ui.lines, (std::vector<std::string>{"MESSAGE\t3010\t\t\t", told}));
    EXPECT_TRUE(site.timer.enabled);
    site.server.loadProductSchema("SABRELUND");
    at(3, 2, 1);
    at(3, 2, 5);
    EXPECT_TRUE(fs::exists(site.dir / "backup" / "SALES" / "SALES_20261203020530_LOG.DAT"));
    EXPECT_FALSE(fs::exists(site.dir / "backup" / "SALES" / "SALES_20261203020030_INIT.DAT"));
    const auto log = site.dailyLog();
    EXPECT_NE(
        std::find(
            log.begin(), log.end(),
            "<ts>  ---排他管理テーブルの読込みに失敗しました。バックアップを行わず、次の予定時刻に再試行します。---"),
        log.end());

    // A new outage after a run went through is told again, once, however many due times it lasts.
    site.ui.lines.clear();
    at(4, 1, 59);
    dropLockTable();
    at(4, 2, 0);
    at(4, 2, 5);
    EXPECT_EQ(site.ui.lines, (std::vector<std::string>{"MESSAGE\t3010\t\t\t", told}));
    const auto nextLog = site.dailyLog("20261204");
    EXPECT_EQ(
        std::count_if(nextLog.begin(), nextLog.end(),
                      [](const std::string& l) { return l.find("次の予定時刻に再試行します") != std::string::npos; }),
        2);
}
