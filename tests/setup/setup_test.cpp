// The pieces of the set-up that need no server: schedules as typed, the answer options, the
// writing of both settings files, and the first start's question whether a folder was set up.

#include "common/password.h"
#include "core/settings.h"
#include "core/setup_state.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "setup/settings_writer.h"
#include "setup/setup_options.h"
#include "setup/weekdays.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::HasSubstr;
using testsupport::readFile;
using testsupport::writeFile;

TEST(SetupSchedules, WeekdaysAreReadAsTypedAndShownSoThatTheyReadBack) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"sun", 64},      {"Mon-Fri", 31},  {"mon,thu", 9}, {"sat sun", 96}, {"fri-mon", 113},
        {"Wednesday", 4}, {"weekdays", 31}, {"daily", 127}, {"none", 0},     {"NON", 0},
        {"9", 9},         {"127", 127},     {"0", {}},      {"128", {}},     {"mo", {}},
        {"funday", {}},   {"", {}},         {"mon-", {}},   {"mon;tue", {}},
    };
    for (const auto& [typed, mask] : cases) {
        const auto read = setup::parseWeekdays(typed);
        EXPECT_EQ(read ? std::optional<int>(*read) : std::nullopt, mask) << typed;
    }
    for (int mask = 0; mask <= 127; ++mask)
        EXPECT_EQ(setup::parseWeekdays(setup::weekdaysText(std::uint8_t(mask))), mask) << setup::weekdaysText(mask);
    EXPECT_EQ(setup::weekdaysText(9), "mon,thu");
    EXPECT_EQ(setup::weekdaysText(0b1011111), "mon-fri,sun");
}

TEST(SetupSchedules, AScheduleNeedsWeekdaysAndATimeOrIsNone) {
    EXPECT_EQ(setup::parseSchedule("mon-fri 2:30"), (setup::ScheduleTexts{"31", "02:30"}));
    EXPECT_EQ(setup::parseSchedule(" sat, sun  23:59 "), (setup::ScheduleTexts{"96", "23:59"}));
    EXPECT_EQ(setup::parseSchedule("none"), setup::ScheduleTexts{});
    for (const char* bad : {"mon-fri", "02:00", "daily 24:00", "none 02:00", "daily 2:5", ""})
        EXPECT_EQ(setup::parseSchedule(bad), std::nullopt) << bad;
    EXPECT_EQ(setup::scheduleText({"31", "02:30"}), "mon-fri 02:30");
    EXPECT_EQ(setup::scheduleText({}), "none");
}

TEST(SetupOptions, ParsingKeepsTheAnswersInOrderAndRefusesWhatItDoesNotKnow) {
    const auto cl = setup::parseSetupArguments(
        {"--setup", "--config-dir", "/c", "--server=db,1433", "--database", "A", "--no-copy", "--help"});
    EXPECT_EQ(cl.error, "");
    EXPECT_EQ(cl.configDir, fs::path("/c"));
    EXPECT_TRUE(cl.help);
    EXPECT_THAT(cl.answers, ElementsAre(std::pair<std::string, std::string>{"--server", "db,1433"},
                                        std::pair<std::string, std::string>{"--database", "A"},
                                        std::pair<std::string, std::string>{"--no-copy", ""}));
    EXPECT_THAT(setup::parseSetupArguments({"--setup", "--password", "x"}).error, HasSubstr("--password"));
    EXPECT_THAT(setup::parseSetupArguments({"--setup", "--login"}).error, HasSubstr("needs a value"));
    EXPECT_THAT(setup::parseSetupArguments({"--setup", "--no-copy=1"}).error, HasSubstr("takes no value"));
}

TEST(SetupOptions, AnswersOverrideTheFolderButNeverTheProductsFile) {
    const auto apply = [](std::vector<std::string> arguments, setup::Answers& a, bool zuzorExists = false) {
        arguments.insert(arguments.begin(), "--setup");
        return setup::applyAnswerOptions(setup::parseSetupArguments(arguments), a, zuzorExists,
                                         [](const std::string& file) -> std::optional<std::string> {
                                             if (file == "pw")
                                                 return std::string("s3cret");
                                             if (file == "braces")
                                                 return std::string("a};b");
                                             return std::nullopt;
                                         });
    };
    setup::Answers a;
    EXPECT_THAT(setup::missingAnswers(a),
                ElementsAre("--server", "--login", "--password-file", "--product-database", "--backup-folder"));
    a.databases = {"OLD"};
    EXPECT_EQ(apply({"--server",
                     "db",
                     "--login",
                     "backup",
                     "--password-file",
                     "pw",
                     "--product-database",
                     "P",
                     "--database",
                     "A",
                     "--database",
                     "B",
                     "--database",
                     "A",
                     "--backup-folder",
                     "/b",
                     "--full",
                     "mon-fri 1:00",
                     "--log",
                     "daily 12:30",
                     "--copy-folder",
                     "/mnt/x",
                     "--copy-documents-folder",
                     "/mnt/docs"},
                    a),
              "");
    EXPECT_THAT(setup::missingAnswers(a), ElementsAre());
    EXPECT_EQ(a.password, "s3cret");
    EXPECT_THAT(a.databases, ElementsAre("A", "B"));
    EXPECT_EQ(a.schedules[0], (setup::ScheduleTexts{"31", "01:00"}));
    EXPECT_EQ(a.schedules[1], setup::ScheduleTexts{});
    EXPECT_EQ(a.schedules[2], (setup::ScheduleTexts{"127", "12:30"}));
    EXPECT_TRUE(a.copy);
    EXPECT_EQ(a.certificateCopyFolder, "/mnt/x");
    EXPECT_EQ(a.documentsCopyFolder, "/mnt/docs");

    EXPECT_THAT(apply({"--server", "other"}, a, true), HasSubstr("ZUZOR.INI names \"db\""));
    EXPECT_EQ(apply({"--server", "db"}, a, true), "");
    EXPECT_THAT(apply({"--full", "none"}, a), HasSubstr("--full"));
    EXPECT_THAT(apply({"--keep-days", "0"}, a), HasSubstr("--keep-days"));
    EXPECT_THAT(apply({"--copy-keep-days", "1000"}, a), HasSubstr("--copy-keep-days"));
    EXPECT_THAT(apply({"--password-file", "missing"}, a), HasSubstr("cannot read"));
    EXPECT_THAT(apply({"--password-file", "braces"}, a), HasSubstr("};"));

    setup::Answers fresh;
    fresh.productDatabase = "P";
    EXPECT_EQ(apply({"--no-copy"}, fresh), "");
    EXPECT_THAT(fresh.databases, ElementsAre("P")); // the product database unless told otherwise
}

class SettingsFolder : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir); }

    setup::Answers answers() const {
        setup::Answers a;
        a.server = "127.0.0.1,1433";
        a.productDatabase = "SABRELUND";
        a.productFolder = "/opt/sabrelund";
        a.documentsFolder = "/opt/sabrelund/技術資料";
        a.login = "backup_user";
        a.password = "pa ss";
        a.databases = {"SABRELUND", "SALES"};
        a.backupFolder = "/srv/sqlbackup";
        a.schedules = {setup::ScheduleTexts{"9", "02:00"}, setup::ScheduleTexts{"118", "02:00"},
                       setup::ScheduleTexts{}};
        return a;
    }
    std::string setting(std::string_view section, std::string_view key) const {
        return core::fnGetScheduleIni(ctx, section, key);
    }
    std::vector<std::string> stagedFiles() const {
        std::vector<std::string> staged;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().string().ends_with(".setup-new"))
                staged.push_back(entry.path().filename().string());
        return staged;
    }

    testsupport::TempDir tmp;
    fs::path dir = tmp / "config";
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 9, 0, 0)};
    testsupport::RecordingSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{clock, ui, files, dir};
};

TEST_F(SettingsFolder, AFreshFolderGetsBothFilesInTheirUsualForm) {
    const setup::WriteResult r = setup::writeAnswers(ctx, answers());
    ASSERT_EQ(r.error, "");
    EXPECT_THAT(r.lines, ElementsAre("ZUZOR.INI: created", HasSubstr("MSDE_DBTOOL.INI: written")));
    EXPECT_EQ(readFile(dir / "ZUZOR.INI"),
              platform::toCp932("[DATABASE]\r\nSERVER_NAME=127.0.0.1,1433\r\nDB_NAME=SABRELUND\r\n[SABRELUND]\r\n"
                                "PATH=/opt/sabrelund\r\n[GIJYUTU]\r\nPATH=/opt/sabrelund/技術資料\r\n"));
    const std::string own = readFile(dir / "MSDE_DBTOOL.INI");
    EXPECT_EQ(own.rfind("[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=/srv/sqlbackup\r\nLocalPreserveTerm=30\r\n"
                        "[ScheduleAll]\r\nDay=9\r\nTime=02:00\r\n[ScheduleDiff]\r\nDay=118\r\nTime=02:00\r\n"
                        "[ScheduleLOG]\r\nDay=NON\r\nTime=NON\r\n[FILE_COPY]\r\nEXECUTE=0\r\n"
                        "[(local)]\r\nUSER_NAME=backup_user\r\nPASSWORD=ENCRT1:",
                        0),
              0u)
        << own;
    EXPECT_EQ(common::fnDecryptPassword(dir, setting("(local)", "PASSWORD")), "pa ss");
    EXPECT_THAT(core::missingSetupItems(ctx), ElementsAre());
    EXPECT_THAT(stagedFiles(), ElementsAre());
}

TEST_F(SettingsFolder, ExistingFilesKeepWhatTheSetUpDoesNotOwn) {
    const std::string product = platform::toCp932("; 製品の設定\r\n[DATABASE]\r\nSERVER_NAME=prod\r\n[ENCNT]\r\n"
                                                  "MAILSRLOGTERM=45\r\n");
    writeFile(dir / "zuzor.ini", product);
    const std::string own = "[ODBC]\r\nDRIVER=Other\r\n[Schedule]\r\nDb=OLD\r\nIniflg=1\r\n[BACKUPTIME]\r\n"
                            "START=2026/12/01 02:00:00\r\n";
    writeFile(dir / "MSDE_DBTOOL.INI", own);
    setup::Answers a = answers();
    a.password.clear();
    a.storedPassword = "ENCRT1:kept";
    a.copy = true;
    a.copyFolder = a.certificateCopyFolder = a.documentsCopyFolder = "/mnt/nas";
    const setup::WriteResult r = setup::writeAnswers(ctx, a);
    ASSERT_EQ(r.error, "");

    // Only the keys the product's file lacked, under its own spelling of the name.
    EXPECT_EQ(r.lines.at(0), "zuzor.ini: added [DATABASE] DB_NAME, [SABRELUND] PATH, [GIJYUTU] PATH");
    EXPECT_FALSE(fs::exists(dir / "ZUZOR.INI.setup-new"));
    const std::string productAfter = readFile(dir / "zuzor.ini");
    EXPECT_EQ(
        productAfter.rfind(platform::toCp932("; 製品の設定\r\n[DATABASE]\r\nSERVER_NAME=prod\r\nDB_NAME=SABRELUND\r\n"
                                             "[ENCNT]\r\nMAILSRLOGTERM=45\r\n"),
                           0),
        0u);
    EXPECT_EQ(setting("ODBC", "DRIVER"), "Other");
    EXPECT_EQ(setting("Schedule", "Iniflg"), "1");
    EXPECT_EQ(setting("BACKUPTIME", "START"), "2026/12/01 02:00:00");
    EXPECT_EQ(setting("Schedule", "Db"), "SABRELUND\tSALES");
    EXPECT_EQ(setting("(local)", "PASSWORD"), "ENCRT1:kept");
    EXPECT_EQ(setting("FILE_COPY", "EXECUTE"), "1");
    EXPECT_EQ(setting("FILE_COPY", "OutSidePreserveTerm"), "60");
    EXPECT_FALSE(fs::exists(common::passwordKeyPath(dir))); // no new password, no key made

    // A second set-up with the same answers finds nothing to add to the product's file.
    ASSERT_EQ(setup::writeAnswers(ctx, a).error, "");
    EXPECT_EQ(readFile(dir / "zuzor.ini"), productAfter);
}

TEST_F(SettingsFolder, NothingChangesWhenAValueOrAFileRefuses) {
    setup::Answers a = answers();
    a.backupFolder = "/srv/backup-①";
    EXPECT_EQ(setup::writeAnswers(ctx, a).error, ""); // a character of code page 932's own
    a.backupFolder = "/srv/backup-ǅ";
    EXPECT_THAT(setup::writeAnswers(ctx, a).error, HasSubstr("[Schedule] Path"));
    a = answers();
    a.databases = {"A\tB"};
    EXPECT_THAT(setup::writeAnswers(ctx, a).error, HasSubstr("TAB"));

    const std::string before = readFile(dir / "MSDE_DBTOOL.INI");
    ::chmod((dir / "MSDE_DBTOOL.INI").c_str(), 0444);
    a = answers();
    a.localTerm = "10";
    EXPECT_THAT(setup::writeAnswers(ctx, a).error, HasSubstr("cannot write"));
    EXPECT_EQ(readFile(dir / "MSDE_DBTOOL.INI"), before);
    EXPECT_THAT(stagedFiles(), ElementsAre());
}

TEST_F(SettingsFolder, AFolderNeverSetUpNamesWhatIsMissing) {
    using Items = std::vector<std::string>;
    EXPECT_EQ(core::missingSetupItems(ctx),
              (Items{"ZUZOR.INI", "MSDE_DBTOOL.INI [(local)] USER_NAME", "MSDE_DBTOOL.INI [(local)] PASSWORD"}));
    writeFile(dir / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=x\r\nDB_NAME= \r\n");
    writeFile(dir / "MSDE_DBTOOL.INI", "[(local)]\r\nUSER_NAME=u\r\nPASSWORD=ENCRT1:x\r\n");
    EXPECT_EQ(core::missingSetupItems(ctx), (Items{"ZUZOR.INI [DATABASE] DB_NAME", "MSDE_DBTOOL.key"}));
    writeFile(dir / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=x\r\nDB_NAME=P\r\n");
    ASSERT_FALSE(common::ensurePasswordKey(common::passwordKeyPath(dir)));
    EXPECT_EQ(core::missingSetupItems(ctx), Items{});

    const std::string notice = core::setupNoticeText({"ZUZOR.INI", "MSDE_DBTOOL.key"}, "encrt-schedule-backup --setup");
    EXPECT_THAT(notice, HasSubstr("ZUZOR.INI、MSDE_DBTOOL.key"));
    EXPECT_THAT(notice, HasSubstr("「encrt-schedule-backup --setup」"));
    EXPECT_THAT(notice, HasSubstr("man encrt-schedule-backup"));
}

// The installed examples are read as they say: their comments add no key and hide none.
TEST_F(SettingsFolder, TheExampleFilesHoldTheSettingsTheirCommentsDescribe) {
    for (const char* name : {"MSDE_DBTOOL.INI", "ZUZOR.INI"})
        fs::copy_file(fs::path(ENCRT_EXAMPLES_DIR) / name, dir / name);
    const core::SettingsTexts t = core::readSettingsTexts(ctx);
    EXPECT_THAT(t.databases, ElementsAre("SABRELUND", "SALES"));
    EXPECT_EQ(t.path, "/srv/sqlbackup");
    EXPECT_EQ(t.days, (std::array<std::string, 3>{"9", "118", "31"}));
    EXPECT_EQ(t.times, (std::array<std::string, 3>{"02:00", "02:00", "12:30"}));
    EXPECT_EQ(t.execute, "1");
    EXPECT_EQ(t.keyFileDir, "/mnt/nas/sabrelund");
    EXPECT_EQ(core::fnGetServerName(ctx), "(local)");
    EXPECT_EQ(core::fnGetZuzorIni(ctx, "DATABASE", "DB_NAME"), "SABRELUND");
    EXPECT_EQ(setting("ODBC", "DRIVER"), "FreeTDS");
    // Only the key file is missing: the stored password is a placeholder to replace.
    EXPECT_THAT(core::missingSetupItems(ctx), ElementsAre("MSDE_DBTOOL.key"));
}

} // namespace
