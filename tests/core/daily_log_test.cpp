#include "core/daily_log.h"

#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "support/faulty_filesystem.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct DailyLogFixture : ::testing::Test {
    testsupport::TempDir shared; // the backup folder another account may write to
    testsupport::TempDir home;   // files of the program's user outside it
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 4, 2, 0, 0)};
    const platform::LocalFileSystem files;
};

} // namespace

TEST_F(DailyLogFixture, APlantedLinkIsNotFollowedAndReportedOnce) {
    const auto victim = home / "victim.txt";
    writeFile(victim, "precious\n");
    const auto logPath = shared / "20261204.log";
    std::filesystem::create_symlink(victim, logPath);

    ::testing::internal::CaptureStderr();
    for (int stage = 0; stage < 3; ++stage) {
        core::DailyLog log(logPath, clock, files);
        log.section("バックアップ開始");
    }
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(readFile(victim), "precious\n");
    EXPECT_TRUE(std::filesystem::is_symlink(logPath));
    EXPECT_EQ(err, "encrt-schedule-backup: the daily log " + logPath.string() +
                       " is a symbolic link; nothing is written to it\n");
}

TEST_F(DailyLogFixture, ALinkToAMissingFileCreatesNothing) {
    const auto target = home / "created-by-us.txt";
    const auto logPath = shared / "20261205.log";
    std::filesystem::create_symlink(target, logPath);
    ::testing::internal::CaptureStderr();
    core::DailyLog(logPath, clock, files).line("x");
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(DailyLogFixture, APlantedFifoNeitherBlocksNorTakesTheLines) {
    const auto logPath = shared / "20261206.log";
    ASSERT_EQ(::mkfifo(logPath.c_str(), 0666), 0);
    ::testing::internal::CaptureStderr();
    core::DailyLog(logPath, clock, files).line("x"); // would wait for a reader forever if opened blocking
    ::testing::internal::GetCapturedStderr();
}

TEST_F(DailyLogFixture, ARegularLogIsStillAppendedTo) {
    const auto logPath = shared / "20261204.log";
    writeFile(logPath, "old\r\n");
    core::DailyLog(logPath, clock, files).line("new");
    EXPECT_EQ(readFile(logPath), "old\r\nnew\r\n");
}

TEST_F(DailyLogFixture, ALineThatCannotBeWrittenIsLostQuietlyAndTheNextOneStillLands) {
    const auto logPath = shared / "20261204.log";
    testsupport::FaultyFileSystem faulty;
    faulty.fail(testsupport::FsOp::Append, "20261204.log", std::errc::no_space_on_device, 0);
    ::testing::internal::CaptureStderr();
    core::DailyLog(logPath, clock, faulty).line("lost");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    core::DailyLog(logPath, clock, files).line("kept");
    EXPECT_EQ(readFile(logPath), "kept\r\n");
}
