#include "copy/external_copy.h"
#include "copy_fixture.h"
#include "support/file_size_limit.h"

#include <fstream>
#include <sys/stat.h>

using namespace copytest;

namespace {
std::vector<std::string> slice(const std::vector<std::string>& lines, std::size_t from, std::size_t to) {
    return {lines.begin() + long(std::min(from, lines.size())), lines.begin() + long(std::min(to, lines.size()))};
}
} // namespace

TEST_F(CopyRunTest, CopyingOffWritesOnlyTheSkipLine) {
    settings.copyEnabled = false;
    dueFull();
    file(ext + "/old.DAT", makeLocalTime(2026, 1, 1));
    copyOut();
    EXPECT_EQ(logLines(),
              std::vector<std::string>{section("---バックアップコピー処理を実施フラグがOFFのためスキップ---")});
    EXPECT_TRUE(exists("old.DAT"));
    EXPECT_FALSE(exists("SALES") || exists("KEYMANAGE"));
}

TEST_F(CopyRunTest, AFullRunCleansUpTheDayAndPutsEveryBackupAndFolderAtTheTarget) {
    dueFull();
    // Three earlier copies of the day: the first two listed go, the last stays beside the new one.
    const std::string day = ext + "/SABRELUND/SABRELUND_20261203";
    for (const char* t : {"000100", "000200", "000300"})
        file(day + t + "_INIT.DAT", runTime);
    file(ext + "/old.DAT", makeLocalTime(2026, 10, 4)); // 60 days before the run's day

    copyOut();

    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              section("---コピー先の保存期間を過ぎたファイルの削除 Start---"),
                              deleted(ext + "/old.DAT"),
                              section("---コピー先の保存期間を過ぎたファイルの削除 End---"),
                              section("---DBバックアップファイルコピー Start---"),
                              deleted(day + "000100_INIT.DAT"),
                              deleted(day + "000200_INIT.DAT"),
                              copied(files.full[0], ext + "/SABRELUND"),
                              copied(files.full[1], ext + "/SALES"),
                              copied(files.master, ext),
                              copied(files.msdb, ext),
                              copied(files.model, ext),
                              section("---DBバックアップファイルコピー End---"),
                              section("---Sabrelund証明書フォルダコピー Start---"),
                              folderCopied(product + "/KEYMANAGE", ext),
                              section("---Sabrelund証明書フォルダコピー End---"),
                              section("---Sabrelund技術資料フォルダコピー Start---"),
                              folderCopied(product + "/技術資料", ext),
                              section("---Sabrelund技術資料フォルダコピー End---"),
                              section("---Sabrelund Wexmarlフォルダコピー Start---"),
                              folderCopied(product + "/Wexmarl", ext),
                              section("---Sabrelund Wexmarlフォルダコピー End---"),
                          }));
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261203000300_INIT.DAT"));
    EXPECT_EQ(testsupport::readFile(ext + "/SALES/SALES_20261203020000_INIT.DAT"), "SALESINIT");
    std::error_code ec;
    EXPECT_EQ(fs.lastModified(ext + "/SALES/SALES_20261203020000_INIT.DAT", ec), runTime);
    for (const char* f : {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "MASTER_20261203020000_INIT.DAT",
                          "MSDB_20261203020000_INIT.DAT", "MODEL_20261203020000_INIT.DAT", "KEYMANAGE/cert.pem",
                          "技術資料/manual.txt", "Wexmarl/data.bin"})
        EXPECT_TRUE(exists(f)) << f;
    EXPECT_FALSE(runFailed());
    EXPECT_TRUE(ui.lines.empty());

    // A second run refreshes the one copy of each folder and keeps files only the copy has.
    due = {};
    writeFile(dir / "product" / "KEYMANAGE" / "cert.pem", "renewed");
    writeFile(ext + "/技術資料/own-note.txt", "kept");
    copyOut();
    EXPECT_EQ(testsupport::readFile(ext + "/KEYMANAGE/cert.pem"), "renewed");
    EXPECT_TRUE(exists("技術資料/own-note.txt"));
    EXPECT_EQ(fs.list(ext, "*", platform::EntryKinds::Folders, ec).size(), 5u); // 3 folder copies, 2 databases
}

TEST_F(CopyRunTest, RetentionJudgesUpperCaseDatByDayAndSparesOnlyTheCertificateAndDocumentCopies) {
    // A certificate folder setting ending in "/" must still name the copy that is spared.
    writeProductIni(product, product + "/KEYMANAGE/", product + "/技術資料");
    const auto expiredDay = makeLocalTime(2026, 10, 4, 23, 59, 59);
    for (const char* f : {"expired.DAT", "SALES/expired.DAT", "Wexmarl/expired.DAT", "lower.dat", "KEYMANAGE/cert.DAT",
                          "技術資料/doc.DAT", "locked.DAT"})
        file(ext + "/" + f, expiredDay);
    file(ext + "/kept.DAT", makeLocalTime(2026, 10, 5));
    ::chmod((ext + "/locked.DAT").c_str(), 0444);

    copyOut();

    EXPECT_EQ(slice(logLines(), 1, 7),
              (std::vector<std::string>{deleted(ext + "/expired.DAT"),
                                        "結果：失敗" + S + "削除ﾌｧｲﾙ名：" + ext + "/locked.DAT",
                                        "Err.Description：Permission denied", deleted(ext + "/SALES/expired.DAT"),
                                        deleted(ext + "/Wexmarl/expired.DAT"),
                                        section("---コピー先の保存期間を過ぎたファイルの削除 End---")}));
    for (const char* f : {"lower.dat", "KEYMANAGE/cert.DAT", "技術資料/doc.DAT", "kept.DAT", "locked.DAT"})
        EXPECT_TRUE(exists(f)) << f;
    EXPECT_TRUE(runFailed()); // the failed deletion
}

TEST_F(CopyRunTest, MissingDifferentialFilesDoNotFailTheRunUnlikeMissingFullOrSystemFiles) {
    due = core::BackupKind::Diff;
    files.diff = {local + "/SABRELUND/gone_DIFF.DAT", backup("SALES", "DIFF")};
    for (const char* t : {"000100", "000200"})
        file(ext + "/SABRELUND/SABRELUND_20261203" + t + "_INIT.DAT", runTime);
    copyOut();

    const auto lines = logLines();
    EXPECT_EQ(slice(lines, 3, 6),
              (std::vector<std::string>{"結果：未実行" + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + local + "/SABRELUND/gone_DIFF.DAT" + S +
                                            "原因：ｺﾋﾟｰ元ﾌｧｲﾙが見つかりません",
                                        copied(files.diff[1], ext + "/SALES"),
                                        section("---DBバックアップファイルコピー End---")}));
    EXPECT_EQ(lines.size(), 15u);                                       // the three folder copies follow
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261203000100_INIT.DAT")); // no same-day clean-up
    EXPECT_FALSE(exists("MASTER_20261203020000_INIT.DAT"));
    EXPECT_FALSE(runFailed());

    dueFull();
    files.msdb.clear(); // a system backup that was not made
    copyOut();
    EXPECT_TRUE(runFailed());
    EXPECT_TRUE(ui.lines.empty()); // a missing source is logged, never shown
}

TEST_F(CopyRunTest, CopyFailuresAreLoggedAndShownButOnlyFullAndSystemBackupsFailTheRun) {
    due = core::BackupKind::Log;
    files.log = {backup("SABRELUND", "LOG"), backup("SALES", "LOG")};
    file(ext + "/SALES/SALES_20261203020000_LOG.DAT", runTime, "someone's own copy");
    ::chmod((ext + "/SALES/SALES_20261203020000_LOG.DAT").c_str(), 0444);
    std::filesystem::create_directory(ext + "/SABRELUND");
    ::chmod((ext + "/SABRELUND").c_str(), 0555); // a read-only target folder, also for root

    copyOut();

    EXPECT_EQ(slice(logLines(), 3, 7), (std::vector<std::string>{
                                           copied(files.log[0], ext + "/SABRELUND", "失敗"),
                                           "Err.Description：Permission denied",
                                           copied(files.log[1], ext + "/SALES", "失敗"),
                                           "Err.Description：Permission denied",
                                       }));
    EXPECT_EQ(testsupport::readFile(ext + "/SALES/SALES_20261203020000_LOG.DAT"), "someone's own copy");
    ASSERT_EQ(ui.lines.size(), 2u);
    EXPECT_EQ(ui.lines[1], "MSGBOX\tcritical\tSabrelund DBバックアップファイルコピー失敗\t"
                           "DBバックアップファイルコピー失敗\\rｺﾋﾟｰ元ﾌｧｲﾙ名：" +
                               files.log[1] + "\\rｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + ext + "/SALES\\r\\rPermission denied");
    EXPECT_FALSE(runFailed());
}

TEST_F(CopyRunTest, AMediumFillingUpPartWayLeavesNoCopyThatLooksGood) {
    dueFull();
    files.full[1] = file(local + "/SALES/SALES_20261203020000_INIT.DAT", runTime, std::string(2 << 20, 's'));
    // The child's files cannot grow beyond 1 MiB: the SALES copy stops part-way.
    const int status = testsupport::runWithFileSizeLimit(1 << 20, [&] {
        copyOut();
        std::ofstream(dir / "boxes") << ui.lines.size() << "\n" << (ui.lines.empty() ? "" : ui.lines[0]);
        return runFailed() ? 1 : 0;
    });
    EXPECT_EQ(status, 1);
    const auto lines = logLines();
    const auto at = std::find(lines.begin(), lines.end(), copied(files.full[1], ext + "/SALES", "失敗"));
    ASSERT_NE(at, lines.end());
    EXPECT_EQ(*(at + 1), "Err.Description：File too large");
    EXPECT_EQ(*(at + 2), copied(files.master, ext)); // the run goes on
    std::error_code ec;
    EXPECT_TRUE(fs.list(ext + "/SALES", "*", platform::EntryKinds::Both, ec).empty()); // no partial, no temporary
    EXPECT_TRUE(testsupport::readFile(dir / "boxes").starts_with("1\nMSGBOX\tcritical\tSabrelund DBバックアップ"));
}

TEST_F(CopyRunTest, TheSameDayIsTheClocksDayWhenTheCopyRunsPastMidnight) {
    runTime = makeLocalTime(2026, 12, 3, 23, 59, 0);
    clock.set(makeLocalTime(2026, 12, 4, 0, 20, 0));
    due = core::BackupKind::Full;
    files.full = {file(local + "/SABRELUND/SABRELUND_20261203235900_INIT.DAT", runTime)};
    files.written = files.full;
    for (const char* t : {"000100", "120000"})
        file(ext + "/SABRELUND/SABRELUND_20261203" + t + "_INIT.DAT", makeLocalTime(2026, 12, 3));
    file(ext + "/SABRELUND/SABRELUND_20261204000500_INIT.DAT", makeLocalTime(2026, 12, 4));
    file(ext + "/SABRELUND/SABRELUND_20261204001000_INIT.DAT", makeLocalTime(2026, 12, 4));
    copyOut();
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261203000100_INIT.DAT"));
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261203120000_INIT.DAT"));
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261203235900_INIT.DAT"));
    EXPECT_FALSE(exists("SABRELUND/SABRELUND_20261204000500_INIT.DAT"));
    EXPECT_TRUE(exists("SABRELUND/SABRELUND_20261204001000_INIT.DAT"));
}

TEST_F(CopyRunTest, ACopyFailingAtItsDataOrItsRenameLeavesTheOldCopyAndNoTemporaryFile) {
    using testsupport::CopyStep, testsupport::FsOp;
    dueFull();
    const std::string sales = ext + "/SALES/SALES_20261203020000_INIT.DAT";
    file(sales, runTime, "earlier copy");
    fs.fail(FsOp::Copy, "/SALES/SALES_20261203020000_INIT.DAT", std::errc::no_space_on_device, 3);
    fs.fail(FsOp::Copy, "/MSDB_20261203020000_INIT.DAT", std::errc::io_error, 0, CopyStep::Rename);

    copyOut();

    EXPECT_EQ(slice(logLines(), 3, 11), (std::vector<std::string>{
                                            copied(files.full[0], ext + "/SABRELUND"),
                                            copied(files.full[1], ext + "/SALES", "失敗"),
                                            "Err.Description：No space left on device",
                                            copied(files.master, ext),
                                            copied(files.msdb, ext, "失敗"),
                                            "Err.Description：Input/output error",
                                            copied(files.model, ext),
                                            section("---DBバックアップファイルコピー End---"),
                                        }));
    EXPECT_EQ(testsupport::readFile(sales), "earlier copy");
    EXPECT_FALSE(exists("MSDB_20261203020000_INIT.DAT"));
    std::error_code ec;
    EXPECT_TRUE(fs.list(ext + "/SALES", ".*", platform::EntryKinds::Files, ec).empty());
    EXPECT_TRUE(fs.list(ext, ".*", platform::EntryKinds::Files, ec).empty());
    ASSERT_EQ(ui.lines.size(), 2u);
    EXPECT_EQ(ui.lines[0], "MSGBOX\tcritical\tSabrelund DBバックアップファイルコピー失敗\t"
                           "DBバックアップファイルコピー失敗\\rｺﾋﾟｰ元ﾌｧｲﾙ名：" +
                               files.full[1] + "\\rｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + ext + "/SALES\\r\\rNo space left on device");
    EXPECT_TRUE(runFailed());
}

TEST_F(CopyRunTest, AFailedDeletionFailsTheRunInTheRetentionButNotInTheSameDayCleanUp) {
    using testsupport::FsOp;
    const std::string earlier = ext + "/SABRELUND/SABRELUND_20261203000100_INIT.DAT";
    const std::string expired = ext + "/SALES/SALES_20261001020000_INIT.DAT";
    for (const bool retentionFails : {false, true}) {
        SCOPED_TRACE(retentionFails);
        std::filesystem::remove(logPath);
        dueFull();
        file(earlier, runTime);
        file(ext + "/SABRELUND/SABRELUND_20261203000200_INIT.DAT", runTime);
        file(expired, makeLocalTime(2026, 10, 1));
        fs.fail(FsOp::Delete, retentionFails ? "/SALES_20261001020000_INIT.DAT" : "/SABRELUND_20261203000100_INIT.DAT",
                std::errc::device_or_resource_busy);

        copyOut();

        const auto failed = "結果：失敗" + S + "削除ﾌｧｲﾙ名：" + (retentionFails ? expired : earlier);
        const auto lines = logLines();
        const auto at = std::find(lines.begin(), lines.end(), failed);
        ASSERT_NE(at, lines.end());
        EXPECT_EQ(*(at + 1), "Err.Description：Device or resource busy");
        EXPECT_EQ(runFailed(), retentionFails);
        EXPECT_TRUE(ui.lines.empty());
    }
}
