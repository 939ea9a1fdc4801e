#include "data/debug_log.h"
#include "data/log_out.h"

#include "platform/clock.h"
#include "platform/codepage.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using testsupport::readFile;
using testsupport::writeFile;

namespace {

struct LogFixture : ::testing::Test {
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 2, 0, 5)};
    data::DataEnv env{&clock, &ui, dir.path()};

    void writeOptions(std::string_view body) { writeFile(dir / "ZUZOR.INI", "[DEBUG_OPTION]\r\n" + std::string(body)); }
};

} // namespace

TEST(SelectColumns, ColumnTextsBetweenSelectAndFrom) {
    std::string cols;
    EXPECT_TRUE(data::fnGetSelectColumns("select a, b ,c From t", cols));
    EXPECT_EQ(cols, "a\t b \tc\t");
    EXPECT_TRUE(data::fnGetSelectColumns("Select テーブル名称 From 排他管理 Where x", cols));
    EXPECT_EQ(cols, "テーブル名称\t");
    EXPECT_FALSE(data::fnGetSelectColumns("SELECT name", cols));
    EXPECT_FALSE(data::fnGetSelectColumns("SELECT\tname FROM t", cols));
    EXPECT_FALSE(data::fnGetSelectColumns("DELETE FROM t", cols));
    EXPECT_EQ(cols, "");
}

TEST(SplitText, CountIsTheLastIndex) {
    std::vector<std::string> parts;
    std::int16_t count = -1;
    data::fnSplitText("-----<<< 2026/12/03 02:00:05 >>> -----", " ", parts, count);
    EXPECT_EQ(parts, (std::vector<std::string>{"-----<<<", "2026/12/03", "02:00:05", ">>>", "-----"}));
    EXPECT_EQ(count, 4);
    data::fnSplitText("", ",", parts, count);
    EXPECT_EQ(parts, std::vector<std::string>{""});
    EXPECT_EQ(count, 0);
}

TEST_F(LogFixture, OptionsAreOnUnlessExactlyOff) {
    data::DebugLog log(env);
    log.readOptions(dir / "ZUZOR.INI", data::kDatabaseLogDefault);
    EXPECT_FALSE(log.on()); // no file at all
    for (auto [body, on] : {std::pair{"RECORDSET_DEBUG=OFF\r\n", false},
                            {"RECORDSET_DEBUG=\r\n", true},
                            {"RECORDSET_DEBUG=off\r\n", true},
                            {"OTHER=1\r\n", false}}) {
        writeOptions(body);
        log.readOptions(dir / "ZUZOR.INI", data::kDatabaseLogDefault);
        EXPECT_EQ(log.on(), on) << body;
    }
    writeOptions("RECORDSET_DEBUG=ON\r\n");
    log.readOptions(dir / "ZUZOR.INI", data::kDatabaseLogDefault);
    EXPECT_EQ(log.path(), dir / "DBS_DATABASE.LOG");
    writeOptions("RECORDSET_DEBUG=ON\r\nRECORDSET_LOGFILE=/trace.log\r\n");
    log.readOptions(dir / "ZUZOR.INI", data::kDatabaseLogDefault);
    EXPECT_EQ(log.path(), dir / "trace.log");
    EXPECT_TRUE(ui.lines.empty());

    // A settings "file" that cannot be read is named in a warning; logging stays off.
    std::filesystem::create_directory(dir / "FOLDER.INI");
    log.readOptions(dir / "FOLDER.INI", data::kDatabaseLogDefault);
    EXPECT_FALSE(log.on());
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MSGBOX\texclamation\tQRCDBS_RecordSetクラス\t" +
                                                 (dir / "FOLDER.INI").string() + "読込みエラー"});
}

TEST_F(LogFixture, PendingTextJoinsTheNextFlushedLineInCp932WithCrLf) {
    writeOptions("RECORDSET_DEBUG=ON\r\n");
    data::DebugLog log(env);
    log.readOptions(dir / "ZUZOR.INI", data::kRecordsetLogDefault);
    log.writeHeader();
    log.sbWriteDebugLog("名前\t", false);
    log.sbWriteDebugLog("1\t", false);
    log.sbWriteDebugLog("次", true);
    log.sbWriteDebugLog("", true);
    log.sbWriteDebugLog("x\t", false);
    log.sbWriteDebugLog("", true);
    EXPECT_EQ(readFile(dir / "DBS_RECORDSET.LOG"),
              "-----<<< 2026/12/03 02:00:05 >>> -----\r\n\x96\xbc\x91O\t1\t\r\n\x8e\x9f\r\n\r\nx\t\r\n");
    EXPECT_TRUE(ui.lines.empty());
}

TEST_F(LogFixture, AnUnopenableLogIsReportedAndThePendingTextKeptForTheNextFlush) {
    writeOptions("RECORDSET_DEBUG=ON\r\nRECORDSET_LOGFILE=/sub/x.log\r\n");
    data::DebugLog log(env);
    log.readOptions(dir / "ZUZOR.INI", data::kRecordsetLogDefault);
    log.sbWriteDebugLog("kept", false);
    log.sbWriteDebugLog("lost", true);
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MSGBOX\texclamation\tスケジュールバックアップ\tNo such file or "
                                                 "directory：指定ﾌｧｲﾙ(" +
                                                 (dir / "sub/x.log").string() + ")をオープンできません。"});
    std::filesystem::create_directory(dir / "sub");
    log.sbWriteDebugLog("again", true);
    EXPECT_EQ(readFile(dir / "sub/x.log"), "kept\r\nagain\r\n");
}

TEST_F(LogFixture, APlantedLogLinkIsRefusedAndItsTargetLeftAlone) {
    testsupport::TempDir elsewhere;
    const auto victim = elsewhere / "victim";
    writeFile(victim, "precious");
    std::filesystem::create_symlink(victim, dir / "DBS_DATABASE.LOG");
    writeOptions("RECORDSET_DEBUG=ON\r\n");
    data::DebugLog log(env);
    log.readOptions(dir / "ZUZOR.INI", data::kDatabaseLogDefault);
    log.sbWriteDebugLog("SELECT 1", true);
    EXPECT_EQ(readFile(victim), "precious");
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MSGBOX\texclamation\tスケジュールバックアップ\tToo many levels of "
                                                 "symbolic links：指定ﾌｧｲﾙ(" +
                                                 (dir / "DBS_DATABASE.LOG").string() + ")をオープンできません。"});
}

TEST_F(LogFixture, LogOutStartsAfreshWhenTheFirstHeaderIsThreeDaysOld) {
    writeOptions("RECORDSET_DEBUG=ON\r\n");
    const auto file = dir / "DBS_RECORDSET.LOG";
    auto start = [&](std::string_view firstLine) {
        writeFile(file, std::string(firstLine) + "\r\nold line\r\n");
        data::QRCDBG_LogOut out(env);
        out.prINIPath((dir / "ZUZOR.INI").string());
        EXPECT_TRUE(out.fnGetLogMode());
        return readFile(file);
    };
    const std::string header = "-----<<< 2026/12/03 02:00:05 >>> -----\r\n";
    EXPECT_EQ(start("-----<<< 2026/11/30 23:59:59 >>> -----"), header);
    EXPECT_EQ(start("-----<<< 2026/12/01 00:00:00 >>> -----"),
              "-----<<< 2026/12/01 00:00:00 >>> -----\r\nold line\r\n" + header);
    EXPECT_EQ(start("justoneword"), "justoneword\r\nold line\r\n" + header);
    EXPECT_TRUE(ui.lines.empty());
    EXPECT_EQ(start("SELECT name FROM t"), header);
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MSGBOX\texclamation\tprINIPath\t型が一致しません。(13)"});
}

TEST_F(LogFixture, LogOutWritesTitleLinesOnlyWhenOn) {
    data::QRCDBG_LogOut out(env);
    out.sbWriteLogLine("before prINIPath", "T");
    out.prINIPath((dir / "ZUZOR.INI").string());
    EXPECT_FALSE(out.fnGetLogMode());
    EXPECT_EQ(out.fnFileExists((dir / "DBS_RECORDSET.LOG").string()), 0);

    writeOptions("RECORDSET_DEBUG=1\r\n");
    out.prINIPath((dir / "ZUZOR.INI").string());
    clock.advance(std::chrono::seconds(61));
    out.sbWriteLogLine("", "開始");
    out.sbWriteLogLine("本文");
    EXPECT_EQ(out.fnFileExists((dir / "DBS_RECORDSET.LOG").string()), -1);
    EXPECT_EQ(platform::fromCp932(readFile(dir / "DBS_RECORDSET.LOG")),
              "-----<<< 2026/12/03 02:00:05 >>> -----\r\n[ 開始 ] 2026/12/03 02:01:06\r\n本文\r\n");
}
