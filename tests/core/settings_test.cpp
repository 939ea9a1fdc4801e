#include "common/string_utils.h"
#include "core/daily_log.h"
#include "core/settings.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

using namespace core;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 2, 0)};
    const platform::LocalFileSystem files;
    ProgramContext ctx{clock, ui, files, dir.path()};
    std::vector<std::string> serverDatabases; // as a due tick loaded them
    Settings settings;                        // the last load's

    bool load() {
        LoadedSettings loaded = fnLoadSettings(ctx, serverDatabases);
        settings = std::move(loaded.settings);
        return loaded.ok;
    }

    std::string backup() const { return (dir / "backup").string(); }
    std::string target() const { return (dir / "ext").string(); }

    void SetUp() override {
        std::filesystem::create_directories(dir / "backup");
        std::filesystem::create_directories(dir / "ext");
        serverDatabases = {"SABRELUND", "SALES"};
    }
    // A complete, valid settings file with `extra` lines appended to its sections.
    void writeIni(const std::string& schedule, const std::string& all = "Day=65\r\nTime=02:00\r\n",
                  const std::string& diff = "Day=NON\r\nTime=NON\r\n", const std::string& copy = "EXECUTE=0\r\n") {
        writeFile(dir / "MSDE_DBTOOL.INI",
                  platform::toCp932("[Schedule]\r\n" + schedule + "[ScheduleAll]\r\n" + all + "[ScheduleDiff]\r\n" +
                                    diff + "[ScheduleLOG]\r\nDay=NON\r\nTime=NON\r\n[FILE_COPY]\r\n" + copy));
    }
    std::string validSchedule() const {
        return "Db=SABRELUND\tSALES\r\nPath=" + backup() + "\r\nLocalPreserveTerm=30\r\n";
    }
};

} // namespace

TEST_F(SettingsTest, LoadsAValidFileAndKeepsNamesOfMissingDatabases) {
    writeIni(validSchedule());
    EXPECT_TRUE(load());
    EXPECT_EQ(settings.databases, (std::vector<std::string>{"SABRELUND", "SALES"}));
    EXPECT_EQ(settings.path, backup());
    EXPECT_EQ(settings.schedule(BackupKind::Diff).dayText, "NON");
    EXPECT_EQ(settings.tempLogTerm.text, "90");

    serverDatabases = {"SABRELUND", "SALES", "../etc"};
    writeIni("Db=SABRELUND\t../etc\r\nPath=" + backup() + "\r\n"); // a name that leads out of the folder
    EXPECT_FALSE(load());
    writeIni(validSchedule());

    serverDatabases = {"SABRELUND"};
    EXPECT_FALSE(load());
    EXPECT_EQ(settings.databases, (std::vector<std::string>{"SABRELUND", "SALES"}));
    EXPECT_FALSE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(ui.lines.back(),
              "MSGBOX\texclamation\tINIファイル内容チェックエラー\tバックアップDB名の設定が正しくありません。");
}

TEST_F(SettingsTest, DayAndTimeTests) {
    for (const char* good : {"127", "1", "65", " 3 "})
        EXPECT_TRUE(isValidDay(common::trim(good))) << good;
    for (const char* bad : {"0", "128", "1A", "0127", "NON", ""})
        EXPECT_FALSE(isValidDay(bad)) << bad;
    for (const char* good : {"23:59", "00:00", "09:05"})
        EXPECT_TRUE(isValidTime(good)) << good;
    for (const char* bad : {"2359", "23:60", "24:00", "9:00", "ab:cd", "１２:００", "12:0a"})
        EXPECT_FALSE(isValidTime(bad)) << bad;
}

TEST_F(SettingsTest, OptionalKindsFallBackToUnscheduledButABadTimeFailsTheLoad) {
    writeIni(validSchedule(), "Day=65\r\nTime=02:00\r\n", "Day=0\r\nTime=09:00\r\n");
    EXPECT_TRUE(load());
    EXPECT_EQ(settings.schedule(BackupKind::Diff).dayText, "NON");
    EXPECT_EQ(settings.schedule(BackupKind::Diff).timeText, "NON");

    writeIni(validSchedule(), "Day=65\r\nTime=02:00\r\n", "Day=2\r\nTime=9:00\r\n");
    EXPECT_FALSE(load());
    EXPECT_FALSE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(ui.lines.back(), "MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                               "差分バックアップスケジュール(時刻)の設定が正しくありません。");

    writeIni(validSchedule(), "Day=NON\r\nTime=02:00\r\n");
    EXPECT_FALSE(load());
}

TEST_F(SettingsTest, TermsAreDefaultedLoadedAndChecked) {
    writeIni("Db=SALES\r\nPath=" + backup() + "\r\nLocalPreserveTerm=\r\nTEMPLOGTERM=0\r\n");
    writeFile(dir / "zuzor.ini", "[ENCNT]\r\nMAILSRLOGTERM=120\r\n"); // found without regard to case
    EXPECT_TRUE(load());
    EXPECT_EQ(settings.localPreserveTerm.text, "30");
    EXPECT_EQ(settings.tempLogTerm.text, "120");
    EXPECT_TRUE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(fnGetScheduleIni(ctx, "Schedule", "LocalPreserveTerm"), "30"); // the check repairs the file

    writeIni("Db=SALES\r\nPath=" + backup() + "\r\nLocalPreserveTerm=1000\r\n");
    EXPECT_TRUE(load());
    EXPECT_EQ(settings.localPreserveTerm.text, "30");
    EXPECT_FALSE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(ui.lines.back(), "MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                               "ローカルバックアップ保持期間の設定が正しくありません。");
}

TEST_F(SettingsTest, AMissingExecuteIsRepairedAndThenRequiresTheCopyFolders) {
    writeIni(validSchedule(), "Day=65\r\nTime=02:00\r\n", "Day=NON\r\nTime=NON\r\n", "");
    EXPECT_FALSE(load());
    EXPECT_TRUE(settings.copyEnabled);
    EXPECT_EQ(fnGetScheduleIni(ctx, "FILE_COPY", "EXECUTE"), "1");
    EXPECT_FALSE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(ui.lines.back(), "MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                               "DBバックアップファイル　コピー先フォルダの設定が正しくありません。");

    const std::string copy = "EXECUTE=1\r\nDBBACKUPFILE_DIR=" + target() + "\r\nKEYFILE_DIR=" + target() +
                             "\r\nGIJYUTUFILE_DIR=" + target() + "\r\nOutSidePreserveTerm=abc\r\n";
    writeIni(validSchedule(), "Day=65\r\nTime=02:00\r\n", "Day=NON\r\nTime=NON\r\n", copy);
    EXPECT_TRUE(load());
    EXPECT_EQ(settings.outSidePreserveTerm.text, "60");
    EXPECT_FALSE(fnCheckIniContents(ctx, serverDatabases));
    EXPECT_EQ(ui.lines.back(), "MSGBOX\texclamation\tINIファイル内容チェックエラー\t"
                               "外部バックアップ保持期間の設定が正しくありません。");
}

TEST_F(SettingsTest, TheLocalFolderMustBeAnExistingFolderOnAFixedDisk) {
    const std::string ram = "/dev/shm/encrt-settings-test";
    std::filesystem::create_directories(ram);
    for (const std::string& path :
         {ram, (dir / "missing").string(), std::string("relative/path"), std::string("/"), std::string("/tmp/..")}) {
        writeIni("Db=SALES\r\nPath=" + path + "\r\n");
        EXPECT_FALSE(load()) << path;
    }
    std::filesystem::remove(ram);
    writeIni("Db=SALES\r\nPath=" + backup() + "\r\n");
    EXPECT_TRUE(load());
}

TEST_F(SettingsTest, LongValuesAreCutAt127BytesButTheDatabaseSelectionIsReadWhole) {
    const std::string longPath = "/" + std::string(60, 'x') + "漢字" + std::string(70, 'y');
    std::vector<std::string> nine;
    for (char c = 'A'; c < 'A' + 9; ++c)
        nine.push_back(std::string(15, c) + "漢"); // 17 bytes each: 161 bytes with the TABs
    serverDatabases = nine;
    std::string db;
    for (const auto& name : nine)
        db += (db.empty() ? "" : "\t") + name;
    writeIni("Db=" + db + "\r\nPath=" + longPath + "\r\n");
    load();
    EXPECT_EQ(settings.databases, nine);
    EXPECT_EQ(platform::toCp932(settings.path).size(), 127u);
    std::vector<std::string> checked;
    EXPECT_TRUE(fnCheckDbNames(ctx, serverDatabases, checked));
}

TEST_F(SettingsTest, NoBackupFolderMeansNoDailyLog) {
    settings.path = "  ";
    const auto runTime = platform::makeLocalTime(2026, 12, 3, 23, 59, 59);
    EXPECT_TRUE(dailyLogPathFor(settings, runTime).empty());
    settings.path = backup();
    EXPECT_EQ(dailyLogPathFor(settings, runTime), dir / "backup" / "20261203.log");
}

TEST(SettingsValues, TermsKeepTheirTextWhenInRangeAndOtherwiseTheDefault) {
    const struct {
        const char* text;
        long days;
        const char* kept;
    } cases[] = {
        {"30", 30, "30"},    {"12abc", 12, "12abc"}, {"12.9", 12, "12.9"}, {"1 5", 15, "1 5"}, {"1e2", 100, "1e2"},
        {"999", 999, "999"}, {"1000", 60, "60"},     {"", 60, "60"},       {"-1", 60, "60"},   {"0.5", 60, "60"},
        {"abc", 60, "60"},   {"１２", 60, "60"}, // full-width digits are no number to the leading-number parse
    };
    for (const auto& c : cases) {
        const Term term = termFromText(c.text, 999, "60");
        EXPECT_EQ(term.days, std::chrono::days(c.days)) << c.text;
        EXPECT_EQ(term.text, c.kept) << c.text;
    }
    EXPECT_EQ(termFromText("32767", 32767, "90").days, std::chrono::days(32767));
}

TEST(SettingsValues, SchedulesAreParsedAsTheEvaluationReadsThem) {
    using std::chrono::minutes;
    const struct {
        const char *day, *time;
        unsigned weekdays;
        std::optional<minutes> at;
    } cases[] = {
        {"127", "23:59", 127, minutes(23 * 60 + 59)},
        {"65", "00:00", 65, minutes(0)},
        {"96abc", "09:05", 96, minutes(9 * 60 + 5)}, // the mask is a leading number
        {"0127", "9:00", 127, std::nullopt},
        {"128", "24:00", 0, std::nullopt}, // only the seven weekday bits count
        {"-1", "12:0a", 0, std::nullopt},
        {"NON", "NON", 0, std::nullopt},
        {"", "", 0, std::nullopt},
        {"１", "１２:００", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        const Schedule s = scheduleFromTexts(c.day, c.time);
        EXPECT_EQ(s.weekdays, c.weekdays) << c.day;
        EXPECT_EQ(s.time, c.at) << c.time;
        EXPECT_EQ(s.dayText, c.day);
        EXPECT_EQ(s.timeText, c.time);
    }
}

TEST_F(SettingsTest, TheLoadParsesEachValueOnce) {
    writeIni("Db=SALES\r\nPath=" + backup() + "\r\nLocalPreserveTerm= 12abc \r\nTEMPLOGTERM=7x\r\n",
             "Day=96\r\nTime=02:00\r\n", "Day=3\r\nTime=23:30\r\n",
             "EXECUTE=1\r\nDBBACKUPFILE_DIR=" + target() + "\r\nKEYFILE_DIR=" + target() +
                 "\r\nGIJYUTUFILE_DIR=" + target() + "\r\nOutSidePreserveTerm=0\r\n");
    EXPECT_TRUE(load());
    const Settings& s = settings;
    EXPECT_EQ(s.localPreserveTerm.days, std::chrono::days(12));
    EXPECT_EQ(s.localPreserveTerm.text, "12abc");
    EXPECT_EQ(s.tempLogTerm.days, std::chrono::days(7));
    EXPECT_EQ(s.tempLogTerm.text, "7x");
    EXPECT_EQ(s.outSidePreserveTerm.days, std::chrono::days(60));
    EXPECT_EQ(s.schedule(BackupKind::Full).weekdays, 96);
    EXPECT_EQ(s.schedule(BackupKind::Diff).time, std::chrono::minutes(23 * 60 + 30));
    EXPECT_EQ(s.schedule(BackupKind::Log).weekdays, 0);
    EXPECT_TRUE(s.copyEnabled);
    EXPECT_EQ(s.dbBackupFileDir, target());

    writeIni(validSchedule());
    EXPECT_TRUE(load());
    EXPECT_FALSE(settings.copyEnabled);
    EXPECT_EQ(settings.dbBackupFileDir, "");
}
