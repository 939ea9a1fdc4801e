// The resident program's loads: settings changed on disk are picked up at the next tick, and a
// load that can never lead to a backup is told once.

#include "core/settings.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "scheduler/settings_reload.h"
#include "scheduler/tick.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace core;
using namespace scheduler;
using testsupport::writeFile;

namespace {

class NullTimer : public TickTimer {
public:
    void setTimerEnabled(bool) override {}
};

std::string notice(const std::string& label) {
    return "NOTICE\tINIファイル内容チェックエラー\t" + label + "の設定が正しくありません。";
}

class ResidentSettingsTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 2, 0, 0)};
    const platform::LocalFileSystem files;
    ProgramContext ctx{clock, ui, files, dir.path()};
    NullTimer timer;
    SchedulerTick tick{ctx, timer};

    void SetUp() override {
        std::filesystem::create_directories(dir / "backup");
        tick.setStartTime(clock.now());
    }
    std::string valid(const std::string& time = "02:10") const {
        return "[Schedule]\r\nDb=SALES\r\nPath=" + (dir / "backup").string() +
               "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=127\r\nTime=" + time +
               "\r\n[FILE_COPY]\r\nEXECUTE=0\r\n";
    }
    void writeIni(const std::string& text) const { writeFile(dir / "MSDE_DBTOOL.INI", platform::toCp932(text)); }
    void tickAt(int h, int m, int s) {
        clock.set(platform::makeLocalTime(2026, 12, 3, h, m, s));
        tick.Timer1_Timer();
    }
};

} // namespace

TEST_F(ResidentSettingsTest, ATickPicksUpChangedFilesAndTellsEachBlockedLoadOnce) {
    writeIni(valid());
    tick.settings().load(ctx);
    int runs = 0;
    tick.setDueTickWork([&](ProgramContext&, const TickState&, ResidentSettings&, LockTableTrouble&) {
        ++runs;
        return DueTickEnd::RunCompleted;
    });
    tickAt(2, 0, 30); // idle: writes Iniflg, which is no change of the settings
    writeIni(valid("02:01"));
    tickAt(2, 1, 30);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(ui.lines.empty());

    writeIni(valid("2:00"));
    tickAt(2, 2, 30);
    tickAt(2, 3, 30);
    EXPECT_EQ(ui.lines, std::vector<std::string>{notice("全体バックアップスケジュール(時刻)")});

    // The product's programs write ZUZOR.INI all day: its values are reloaded without a notice.
    writeFile(dir / "ZUZOR.INI", "[ENCNT]\r\nMAILSRLOGTERM=45\r\n");
    tickAt(2, 4, 30);
    EXPECT_EQ(tick.settings().current().tempLogTerm.text, "45");
    EXPECT_EQ(ui.lines.size(), 1u);

    // SIGHUP loads again as start-up does, and says it again.
    tick.reloadSettings();
    EXPECT_EQ(ui.lines.size(), 2u);
}

TEST_F(ResidentSettingsTest, TheNoticeNamesTheFirstItemThatBlocksEveryBackup) {
    const std::string path = "Path=" + (dir / "backup").string() + "\r\n";
    const std::string all = "[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n";
    const std::string copyOff = "[FILE_COPY]\r\nEXECUTE=0\r\n";
    const std::string missing = (dir / "unplugged").string();
    const struct {
        std::string ini, label;
    } cases[] = {
        {"", "バックアップDB名"}, // a first start with an empty settings folder
        {"[Schedule]\r\nDb=SALES\r\n" + all + copyOff, "DBバックアップファイル保存先フォルダ"},
        {"[Schedule]\r\nDb=SALES\r\n" + path + "LocalPreserveTerm=1000\r\n" + all + copyOff,
         "ローカルバックアップ保持期間"},
        {"[Schedule]\r\nDb=SALES\r\n" + path + "[ScheduleAll]\r\nDay=0\r\nTime=02:00\r\n" + copyOff,
         "全体バックアップスケジュール(曜日)"},
        {"[Schedule]\r\nDb=SALES\r\n" + path + all + "[ScheduleLOG]\r\nDay=2\r\nTime=9:00\r\n" + copyOff,
         "ログバックアップスケジュール(時刻)"},
        {"[Schedule]\r\nDb=SALES\r\n" + path + all + "[FILE_COPY]\r\nEXECUTE=1\r\n",
         "DBバックアップファイル　コピー先フォルダ"},
        // A medium that is unplugged now does not stop the local backup.
        {"[Schedule]\r\nDb=SALES\r\n" + path + all + "[FILE_COPY]\r\nEXECUTE=1\r\nDBBACKUPFILE_DIR=" + missing +
             "\r\nKEYFILE_DIR=" + missing + "\r\nGIJYUTUFILE_DIR=" + missing + "\r\n",
         ""},
        {"[Schedule]\r\nDb=NOT_ON_THE_SERVER_YET\r\n" + path + all + copyOff, ""},
    };
    for (const auto& c : cases) {
        writeIni(c.ini);
        ui.lines.clear();
        tick.settings().load(ctx);
        EXPECT_EQ(ui.lines, c.label.empty() ? std::vector<std::string>{} : std::vector<std::string>{notice(c.label)})
            << c.ini;
    }
}

TEST_F(ResidentSettingsTest, LargeFilesLoadInWellUnderASecond) {
    const std::string line = "[Notes]\r\nText=" + std::string(20 << 20, 'x') + "\r\n";
    writeIni(valid() + line);
    writeFile(dir / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=(local)\r\n" + line);
    const auto start = std::chrono::steady_clock::now();
    tick.settings().load(ctx);
    EXPECT_TRUE(fnCheckIniContents(ctx, {"SALES"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    EXPECT_EQ(tick.settings().current().schedule(BackupKind::Full).timeText, "02:10");
    EXPECT_TRUE(ui.lines.empty());
}
