#include "backup/temp_log_purge.h"
#include "platform/filesystem.h"
#include "support/faulty_filesystem.h"
#include "support/log_reader.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::makeLocalTime;
using testsupport::writeFile;

namespace {

class TempLogPurgeTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{makeLocalTime(2026, 12, 3, 14, 0)};
    testsupport::FaultyFileSystem fs;
    core::ProgramContext ctx{clock, ui, fs, dir / "program"};
    core::Settings settings;
    platform::LocalTime runTime{}; // of the run the purge belongs to

    void SetUp() override {
        std::filesystem::create_directories(dir / "program");
        settings.tempLogTerm = core::termFromText("90", 32767, "90");
        runTime = clock.now();
    }
    std::vector<std::string> purge() {
        const auto log = dir / "run.log";
        std::filesystem::remove(log);
        backup::sbDeleteTempLog(ctx, {settings, runTime, {}, log, {}});
        return testsupport::readLogLines(log);
    }
};

} // namespace

TEST_F(TempLogPurgeTest, WorkFoldersGoByTheDateInTheirNamesAndAFileOfSuchANameAsAFile) {
    const auto product = dir / "product";
    writeFile(dir / "ZUZOR.INI", "");
    writeFile(dir / "program" / "ZUZOR.INI", "[SABRELUND]\r\nPATH=" + product.string() + "\r\n");
    for (const char* name :
         {"20260904000000123", "20260904000001123", "20261304000000123", "2026090400000012", "20260904000000"})
        writeFile(product / "Temp" / name / "mail.eml", "x");
    writeFile(product / "Temp" / "20260101000000999", "a file of a work folder's name");
    writeFile(product / "Orvanti" / "MAIL" / "20260101000000", "a file of that name");
    std::filesystem::create_directories(product / "Orvanti" / "MAIL" / "20260101000000x");

    EXPECT_EQ(purge(), (std::vector<std::string>{
                           "<ts>  ---Pelmoraログファイルの削除 Start---",
                           std::string(40, '-'),
                           "90日経過ファイルが対象",
                           std::string(40, '-'),
                           "削除ファイル名：" + (product / "Temp").string() + "/20260101000000999",
                           "削除フォルダ名：" + (product / "Temp").string() + "/20260904000000123",
                           "削除ファイル名：" + (product / "Orvanti" / "MAIL").string() + "/20260101000000",
                           "<ts>  ---Pelmoraログファイルの削除 End---",
                       }));
    EXPECT_FALSE(fs.folderExists(product / "Temp" / "20260904000000123"));
    EXPECT_FALSE(fs.exists(product / "Temp" / "20260101000000999"));
    EXPECT_FALSE(fs.exists(product / "Orvanti" / "MAIL" / "20260101000000"));
    EXPECT_TRUE(fs.folderExists(product / "Temp" / "20260904000001123"));
    EXPECT_TRUE(fs.folderExists(product / "Temp" / "20261304000000123"));
}

TEST_F(TempLogPurgeTest, LogFilesGoByCreationTimeBelowTheProgramFolderWhenNoProductFolderIsSet) {
    const auto logs = dir / "program" / "Temp" / "logfile";
    writeFile(logs / "a.log", "x");
    writeFile(logs / ".hidden.LOG", "x");
    writeFile(logs / "keep.txt", "x");
    writeFile(dir / "program" / "CONTLOG" / "locked", "x");
    ::chmod((dir / "program" / "CONTLOG" / "locked").c_str(), 0444);
    const auto created = fs.creationTime(logs / "a.log");
    if (!created)
        GTEST_SKIP() << "this file system keeps no creation times";

    // The limit is the run's day at midnight less 90 days: a run 91 days after the files' day
    // finds them old enough, one a day earlier does not.
    clock.set(platform::LocalTime(platform::dayOf(*created) + std::chrono::days(91)) + std::chrono::hours(1));
    runTime = clock.now();
    const auto lines = purge();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end() - 1),
              (std::vector<std::string>{"削除ファイル名：" + logs.string() + "/.hidden.LOG",
                                        "削除ファイル名：" + logs.string() + "/a.log",
                                        "削除ファイル名：" + (dir / "program" / "CONTLOG").string() + "/locked"}));
    EXPECT_FALSE(fs.fileExists(logs / "a.log"));
    EXPECT_TRUE(fs.fileExists(logs / "keep.txt"));
    EXPECT_TRUE(fs.fileExists(dir / "program" / "CONTLOG" / "locked")); // read-only: its line on every run

    writeFile(logs / "a.log", "x");
    clock.set(clock.now() - std::chrono::days(1));
    runTime = clock.now();
    EXPECT_EQ(purge().size(), 5u);
}

TEST_F(TempLogPurgeTest, AFailedDeletionKeepsItsLineAndAnUnreadableFolderIsPassedOver) {
    const auto product = dir / "product";
    writeFile(dir / "program" / "ZUZOR.INI", "[SABRELUND]\r\nPATH=" + product.string() + "\r\n");
    writeFile(product / "Temp" / "20260904000000123" / "mail.eml", "x");
    writeFile(product / "Orvanti" / "MAIL" / "20260101000000" / "mail.eml", "x");
    fs.fail(testsupport::FsOp::Delete, "/20260904000000123", std::errc::device_or_resource_busy);
    fs.fail(testsupport::FsOp::List, "/Orvanti/MAIL", std::errc::io_error);

    const auto lines = purge();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{
                  "削除フォルダ名：" + (product / "Temp").string() + "/20260904000000123",
                  "<ts>  ---Pelmoraログファイルの削除 End---",
              }));
    EXPECT_TRUE(fs.folderExists(product / "Temp" / "20260904000000123"));
    EXPECT_TRUE(fs.folderExists(product / "Orvanti" / "MAIL" / "20260101000000"));
    EXPECT_TRUE(ui.lines.empty());
}
