#include "backup/local_retention.h"
#include "platform/local_filesystem.h"
#include "support/faulty_filesystem.h"
#include "support/log_reader.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::makeLocalTime;
using testsupport::writeFile;

namespace {

class LocalRetentionTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{makeLocalTime(2026, 12, 3, 2, 0)};
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{clock, ui, files, dir.path()};
    core::Settings settings;
    testsupport::FaultyFileSystem fs;
    core::RunFailures failures;
    platform::LocalTime runTime{}; // of the run the retention belongs to

    void SetUp() override {
        settings.path = (dir / "backup").string();
        settings.localPreserveTerm = core::termFromText("30", 999, "30");
        runTime = clock.now();
        std::filesystem::create_directories(dir / "backup");
    }
    std::string file(const std::string& name, platform::LocalTime modified) {
        const auto p = dir / "backup" / name;
        writeFile(p, "x");
        fs.setLastModified(p, modified);
        return p.string();
    }
    std::vector<std::string> run() {
        {
            core::DailyLog log(dir / "run.log", clock);
            failures = backup::sbDeleteExpiredBackupFiles(ctx, {settings, runTime, {}, {}, {}}, log, fs);
        }
        return testsupport::readLogLines(dir / "run.log");
    }
};

} // namespace

TEST_F(LocalRetentionTest, DeletesUpperCaseBackupsAndRootLogsOnTheDayRule) {
    const auto expired = file("SALES/SALES_20261103020000_INIT.DAT", makeLocalTime(2026, 11, 3, 23, 59));
    file("SALES/SALES_20261104000000_INIT.DAT", makeLocalTime(2026, 11, 4, 0, 0));
    file("SALES/SALES_20261203010000_INIT.DAT", makeLocalTime(2026, 12, 3, 1, 0));
    file("SALES/lower.dat", makeLocalTime(2020, 1, 1));
    const auto oldLog = file("20261001.LOG", makeLocalTime(2026, 10, 1));
    file("SALES/20261001.log", makeLocalTime(2026, 10, 1));
    file("20261203.log", makeLocalTime(2026, 12, 3));

    EXPECT_EQ(run(), (std::vector<std::string>{
                         "<ts>  ---保存期間を過ぎたファイルの削除 Start---",
                         "結果：成功　削除ﾌｧｲﾙ名：" + expired,
                         "結果：成功　削除ﾌｧｲﾙ名：" + oldLog,
                         "<ts>  ---保存期間を過ぎたファイルの削除 End---",
                     }));
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(fs.fileExists(dir / "backup" / "SALES" / "lower.dat"));
    EXPECT_TRUE(fs.fileExists(dir / "backup" / "SALES" / "20261001.log"));
    EXPECT_TRUE(fs.fileExists(dir / "backup" / "SALES" / "SALES_20261104000000_INIT.DAT"));
}

TEST_F(LocalRetentionTest, AReadOnlyFileFailsTheRunButTheNextOneIsStillDeleted) {
    const auto locked = file("A/A_1_INIT.DAT", makeLocalTime(2026, 1, 1));
    const auto next = file("B/B_1_INIT.DAT", makeLocalTime(2026, 1, 1));
    ::chmod(locked.c_str(), 0444);
    EXPECT_EQ(run(), (std::vector<std::string>{
                         "<ts>  ---保存期間を過ぎたファイルの削除 Start---",
                         "結果：失敗　削除ﾌｧｲﾙ名：" + locked,
                         "Err.Description：Permission denied",
                         "結果：成功　削除ﾌｧｲﾙ名：" + next,
                         "<ts>  ---保存期間を過ぎたファイルの削除 End---",
                     }));
    EXPECT_EQ(failures, (core::RunFailures{{core::RunStage::LocalRetention, locked, "Permission denied"}}));
    EXPECT_TRUE(fs.fileExists(locked));
}

TEST_F(LocalRetentionTest, AMissingFolderWritesOnlyTheSectionLines) {
    settings.path = (dir / "missing").string();
    EXPECT_EQ(run().size(), 2u);
    EXPECT_TRUE(failures.empty());
}

TEST_F(LocalRetentionTest, ListingDeletionAndTimeFaultsSpareWhatTheyConcernAndOnlyFailedDeletionsFailTheRun) {
    using testsupport::FsOp;
    const auto old = makeLocalTime(2026, 1, 1);
    const auto unread = file("A/A_1_INIT.DAT", old); // folder A breaks off after its first entry
    file("A/A_2_INIT.DAT", old);
    const auto busy = file("B/B_1_INIT.DAT", old);
    const auto vanished = file("B/B_2_INIT.DAT", old); // its time cannot be read: gone since listed
    const auto expired = file("C/C_1_INIT.DAT", old);
    fs.fail(FsOp::List, "/backup/A", std::errc::io_error, 1);
    fs.fail(FsOp::Delete, "/B_1_INIT.DAT", std::errc::device_or_resource_busy);
    fs.fail(FsOp::Stat, "/B_2_INIT.DAT", std::errc::no_such_file_or_directory);

    EXPECT_EQ(run(), (std::vector<std::string>{
                         "<ts>  ---保存期間を過ぎたファイルの削除 Start---",
                         "結果：失敗　ﾌｫﾙﾀﾞ名：" + (dir / "backup" / "A").string(),
                         "Err.Description：Input/output error",
                         "結果：失敗　削除ﾌｧｲﾙ名：" + busy,
                         "Err.Description：Device or resource busy",
                         "結果：成功　削除ﾌｧｲﾙ名：" + expired,
                         "<ts>  ---保存期間を過ぎたファイルの削除 End---",
                     }));
    EXPECT_EQ(failures, (core::RunFailures{{core::RunStage::LocalRetention, busy, "Device or resource busy"}}));
    EXPECT_TRUE(fs.fileExists(unread));
    EXPECT_TRUE(fs.fileExists(vanished));
}

TEST_F(LocalRetentionTest, ABackupFolderThatBreaksOffPartWayIsLeftAlone) {
    const auto expired = file("A_1_INIT.DAT", makeLocalTime(2026, 1, 1));
    fs.fail(testsupport::FsOp::List, "/backup", std::errc::io_error, 1);
    EXPECT_EQ(run().size(), 2u);
    EXPECT_TRUE(failures.empty());
    EXPECT_TRUE(fs.fileExists(expired));
}
