// Whole scheduled runs with copying on, against the stand-in server: the copy stage's place in
// the road of the run and what reaches the targets.
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "support/run_site.h"

#include <gtest/gtest.h>

using platform::makeLocalTime;
using testsupport::readFile;
using testsupport::RunSite;

namespace {

const std::string S = "\u3000";

std::string copied(const std::string& source, const std::string& target) {
    return "結果：成功" + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + source + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + target;
}
std::string deleted(const std::string& path) {
    return "結果：成功" + S + "削除ﾌｧｲﾙ名：" + path;
}

// The lines between a section's Start and End lines.
std::vector<std::string> within(const std::vector<std::string>& log, const std::string& section) {
    const auto start = std::find(log.begin(), log.end(), "<ts>  ---" + section + " Start---");
    const auto end = std::find(start, log.end(), "<ts>  ---" + section + " End---");
    return start == log.end() ? std::vector<std::string>{"<no section " + section + ">"}
                              : std::vector<std::string>(start + 1, end);
}

// The test site with copies the target already holds.
class CopyRunSite : public RunSite {
public:
    explicit CopyRunSite(testsupport::StandinOptions options = {}) : RunSite(std::move(options)) {}

    void existing(const std::string& relative, platform::LocalTime modified) {
        const std::string path = extDir() + "/" + relative;
        testsupport::writeFile(path, "earlier copy");
        EXPECT_FALSE(platform::LocalFileSystem().setLastModified(path, modified));
    }
    void threeCopiesOfTheDay() {
        for (const char* t : {"000100", "000200", "000300"})
            existing(std::string("SABRELUND/SABRELUND_20261203") + t + "_INIT.DAT", makeLocalTime(2026, 12, 3));
    }
};

} // namespace

TEST(CopyRun, AFullRunPutsEveryBackupAndFolderAtTheTargetsInTheRoadOfTheRunAndRecordsTheBackupTime) {
    CopyRunSite site;
    site.copyOn();
    site.applySettings();
    site.threeCopiesOfTheDay();
    site.existing("Wexmarl/old.DAT", makeLocalTime(2026, 10, 4));   // 60 days before: expired
    site.existing("KEYMANAGE/old.DAT", makeLocalTime(2026, 10, 4)); // inside the certificate copy: spared
    site.existing("old.dat", makeLocalTime(2026, 10, 4));           // lower case: spared
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const auto log = site.dailyLog();
    std::vector<std::string> sections;
    for (auto at = std::find(log.begin(), log.end(), "<ts>  ---------スケジュールバックアップ Start---------");
         at != log.end(); ++at)
        if (at->starts_with("<ts>"))
            sections.push_back(at->substr(6));
    EXPECT_EQ(sections, (std::vector<std::string>{
                            "---------スケジュールバックアップ Start---------",
                            "---保存期間を過ぎたファイルの削除 Start---",
                            "---保存期間を過ぎたファイルの削除 End---",
                            "---DBバックアップ(全体) Start---",
                            "---DBバックアップ(全体) End---",
                            "---コピー先の保存期間を過ぎたファイルの削除 Start---",
                            "---コピー先の保存期間を過ぎたファイルの削除 End---",
                            "---DBバックアップファイルコピー Start---",
                            "---DBバックアップファイルコピー End---",
                            "---Sabrelund証明書フォルダコピー Start---",
                            "---Sabrelund証明書フォルダコピー End---",
                            "---Sabrelund技術資料フォルダコピー Start---",
                            "---Sabrelund技術資料フォルダコピー End---",
                            "---Sabrelund Wexmarlフォルダコピー Start---",
                            "---Sabrelund Wexmarlフォルダコピー End---",
                            "---------スケジュールバックアップ End---------",
                            "---Pelmoraログファイルの削除 Start---",
                            "---Pelmoraログファイルの削除 End---",
                        }));

    const std::string b = site.backupDir(), e = site.extDir();
    EXPECT_EQ(within(log, "コピー先の保存期間を過ぎたファイルの削除"),
              std::vector<std::string>{deleted(e + "/Wexmarl/old.DAT")});
    const std::string day = e + "/SABRELUND/SABRELUND_20261203";
    const std::vector<std::string> backups = {"SABRELUND/SABRELUND_20261203020030_INIT.DAT",
                                              "SALES/SALES_20261203020030_INIT.DAT", "MASTER_20261203020030_INIT.DAT",
                                              "MSDB_20261203020030_INIT.DAT", "MODEL_20261203020030_INIT.DAT"};
    EXPECT_EQ(within(log, "DBバックアップファイルコピー"),
              (std::vector<std::string>{deleted(day + "000100_INIT.DAT"), deleted(day + "000200_INIT.DAT"),
                                        copied(b + "/" + backups[0], e + "/SABRELUND"),
                                        copied(b + "/" + backups[1], e + "/SALES"), copied(b + "/" + backups[2], e),
                                        copied(b + "/" + backups[3], e), copied(b + "/" + backups[4], e)}));
    for (const auto& f : backups) // the server's real backups, byte for byte
        EXPECT_EQ(readFile(e + "/" + f), readFile(b + "/" + f)) << f;
    EXPECT_EQ(readFile(e + "/KEYMANAGE/cert.pem"), "certificate");
    EXPECT_EQ(readFile(e + "/技術資料/manual.txt"), "document");
    EXPECT_EQ(readFile(e + "/Wexmarl/data.bin"), "wexmarl");
    for (const char* kept : {"SABRELUND/SABRELUND_20261203000300_INIT.DAT", "KEYMANAGE/old.DAT", "old.dat"})
        EXPECT_TRUE(std::filesystem::exists(e + "/" + kept)) << kept;
    EXPECT_TRUE(site.ui.lines.empty());
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "2026/12/03 02:00:30");
}

TEST(CopyRun, ADifferentialRunCopiesItsFilesAndTheFoldersButNoSystemBackupsAndCleansNothingUp) {
    CopyRunSite site({.failingBackups = {"SALES"}});
    site.earlierFullBackups();
    site.ini["ScheduleAll"] = {{"Day", "1"}, {"Time", "02:00"}}; // Mondays; 3 December 2026 is a Thursday
    site.ini["ScheduleDiff"] = {{"Day", "8"}, {"Time", "02:00"}};
    site.copyOn();
    site.applySettings();
    site.threeCopiesOfTheDay();
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const auto log = site.dailyLog();
    const std::string b = site.backupDir(), e = site.extDir();
    EXPECT_EQ(
        within(log, "DBバックアップファイルコピー"),
        (std::vector<std::string>{copied(b + "/SABRELUND/SABRELUND_20261203020030_DIFF.DAT", e + "/SABRELUND"),
                                  "結果：未実行" + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + b + "/SALES/SALES_20261203020030_DIFF.DAT" +
                                      S + "原因：ｺﾋﾟｰ元ﾌｧｲﾙが見つかりません"}));
    for (const char* folder :
         {"Sabrelund証明書フォルダコピー", "Sabrelund技術資料フォルダコピー", "Sabrelund Wexmarlフォルダコピー"})
        EXPECT_EQ(within(log, folder).size(), 1u) << folder;
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const auto& l) { return l.starts_with("結果：成功" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名"); }),
              3);
    std::error_code ec;
    EXPECT_EQ(platform::LocalFileSystem().list(e + "/SABRELUND", "*", platform::EntryKinds::Files, ec).size(), 4u);
    EXPECT_FALSE(std::filesystem::exists(e + "/MASTER_20261203020030_INIT.DAT"));
    ASSERT_EQ(site.ui.lines.size(), 1u); // the failed backup's box; a missing copy source shows none
    EXPECT_TRUE(site.ui.lines[0].starts_with("MSGBOX\tcritical\tSabrelundスケジュールバックアップ\t"));
}

TEST(CopyRun, AnUnpluggedTargetCostsNoLocalBackupAndIsNeverCreated) {
    CopyRunSite site;
    site.copyOn();
    std::filesystem::remove(site.extDir());
    site.applySettings();
    site.ui.lines.clear();
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const std::string b = site.backupDir(), e = site.extDir();
    for (const char* f :
         {"SABRELUND/SABRELUND_20261203020030_INIT.DAT", "SALES/SALES_20261203020030_INIT.DAT",
          "MASTER_20261203020030_INIT.DAT", "MSDB_20261203020030_INIT.DAT", "MODEL_20261203020030_INIT.DAT"})
        EXPECT_TRUE(std::filesystem::exists(b + "/" + f)) << f;
    EXPECT_FALSE(std::filesystem::exists(e));

    const auto log = site.dailyLog();
    const std::string unreachable = "<ts>  ---" + e + " にアクセスできませんでした｡対象ドライブを確認してください｡ ---";
    EXPECT_EQ(std::count(log.begin(), log.end(), unreachable), 3);
    const auto copies = within(log, "DBバックアップファイルコピー");
    ASSERT_EQ(copies.size(), 10u);
    EXPECT_EQ(copies[0], "結果：失敗" + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + b + "/SABRELUND/SABRELUND_20261203020030_INIT.DAT" + S +
                             "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + e + "/SABRELUND");
    for (std::size_t i = 1; i < copies.size(); i += 2)
        EXPECT_EQ(copies[i], "Err.Description：No such file or directory");
    for (const auto& line : site.ui.lines)
        EXPECT_FALSE(line.starts_with("DIALOG") || line.starts_with("MESSAGE")) << line;
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "");
    EXPECT_TRUE(site.timer.enabled);
    EXPECT_TRUE(site.lockRows().empty());
}

TEST(CopyRun, ADatabaseWithoutANewBackupKeepsItsEarlierCopiesOfTheDay) {
    // Its backup refused: the SABRELUND copies of the day are all there is of that day.
    CopyRunSite failing({.failingBackups = {"SABRELUND", "master"}});
    failing.copyOn();
    failing.applySettings();
    failing.threeCopiesOfTheDay();
    failing.existing("MASTER_20261203000100_INIT.DAT", makeLocalTime(2026, 12, 3));
    failing.existing("MASTER_20261203000200_INIT.DAT", makeLocalTime(2026, 12, 3));
    failing.existing("MSDB_20261203000100_INIT.DAT", makeLocalTime(2026, 12, 3));
    failing.existing("MSDB_20261203000200_INIT.DAT", makeLocalTime(2026, 12, 3));
    failing.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    const std::string e = failing.extDir();
    for (const char* kept : {"SABRELUND/SABRELUND_20261203000100_INIT.DAT", "MASTER_20261203000100_INIT.DAT"})
        EXPECT_TRUE(std::filesystem::exists(e + "/" + kept)) << kept;
    EXPECT_FALSE(std::filesystem::exists(e + "/MSDB_20261203000100_INIT.DAT")); // msdb was backed up
    const auto copies = within(failing.dailyLog(), "DBバックアップファイルコピー");
    EXPECT_EQ(std::count_if(copies.begin(), copies.end(), [](const auto& l) { return l.find("削除ﾌｧｲﾙ名") != l.npos; }),
              1);

    // No connection in the run: no backup file at all, and no line without a file name.
    CopyRunSite cut;
    cut.copyOn();
    cut.applySettings();
    cut.existing("MASTER_20261203000100_INIT.DAT", makeLocalTime(2026, 12, 3));
    cut.existing("MASTER_20261203000200_INIT.DAT", makeLocalTime(2026, 12, 3));
    cut.services.runBackup = [&](core::ProgramContext& c, const scheduler::TickState& state,
                                 const core::Settings& settings, const auto& progress) {
        cut.server.stop();
        return backup::sbScheduleBackupRun(c, state, settings, progress);
    };
    cut.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));
    EXPECT_TRUE(std::filesystem::exists(cut.extDir() + "/MASTER_20261203000100_INIT.DAT"));
    EXPECT_EQ(within(cut.dailyLog(), "DBバックアップファイルコピー"), std::vector<std::string>{});
    EXPECT_EQ(cut.setting("BACKUPTIME", "START"), "");
}

TEST(CopyRun, TheCopySweepsLeftOverTemporaryCopiesOfEarlierRunsInEveryDatabaseFolder) {
    CopyRunSite site;
    site.copyOn();
    site.applySettings();
    const std::string stale = "SALES/.SALES_20261202020000_INIT.DAT.copy-Ab12Cd";
    const std::string staleRoot = ".MASTER_20261202020000_INIT.DAT.copy-x9Y8z7";
    const std::string writing = "SALES/.SALES_20261203020100_INIT.DAT.copy-Q1w2E3";  // newer than the run
    const std::string lookalike = "SALES/SALES_20261202020000_INIT.DAT.copy-Ab12Cd"; // not hidden: not ours
    const std::string deselected = "OLD/.OLD_20261101020000_INIT.DAT.copy-Zz9Yy8";   // no longer backed up
    site.existing(stale, makeLocalTime(2026, 12, 2, 2, 10));
    site.existing(deselected, makeLocalTime(2026, 11, 1, 2, 10));
    site.existing(staleRoot, makeLocalTime(2026, 12, 3, 2, 0, 29));
    site.existing(writing, makeLocalTime(2026, 12, 3, 2, 1));
    site.existing(lookalike, makeLocalTime(2026, 12, 2, 2, 10));
    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 30));

    const std::string e = site.extDir();
    EXPECT_FALSE(std::filesystem::exists(e + "/" + stale));
    EXPECT_FALSE(std::filesystem::exists(e + "/" + staleRoot));
    EXPECT_FALSE(std::filesystem::exists(e + "/" + deselected));
    EXPECT_TRUE(std::filesystem::exists(e + "/" + writing));
    EXPECT_TRUE(std::filesystem::exists(e + "/" + lookalike));
    const auto copies = within(site.dailyLog(), "DBバックアップファイルコピー");
    EXPECT_EQ(std::count(copies.begin(), copies.end(), deleted(e + "/" + stale)), 1);
    EXPECT_EQ(std::count(copies.begin(), copies.end(), deleted(e + "/" + staleRoot)), 1);
    EXPECT_EQ(site.setting("BACKUPTIME", "START"), "2026/12/03 02:00:30");
}
