#include "scheduler/tick.h"

#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform/profile.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace core;
using namespace scheduler;
using namespace std::chrono_literals;

namespace {

class FakeTimer : public TickTimer {
public:
    std::vector<bool> calls;
    void setTimerEnabled(bool enabled) override { calls.push_back(enabled); }
};

class TickTest : public ::testing::Test {
protected:
    TickTest() : clock(platform::makeLocalTime(2026, 12, 7, 9, 58, 30)), ctx(clock, sink, files, dir.path()) {
        testsupport::writeFile(ini(), "[ScheduleAll]\r\nDay=127\r\nTime=10:00\r\n");
        tick.setStartTime(clock.now());
        scheduleFullAt("10:00");
    }
    std::filesystem::path ini() const { return dir / "MSDE_DBTOOL.INI"; }
    // Settings filled by hand: the tick loads nothing before a first load of the files.
    void scheduleFullAt(const char* time) {
        Settings s;
        s.schedule(BackupKind::Full) = scheduleFromTexts("127", time);
        tick.settings().adopt(s);
    }
    std::string iniflg() const { return platform::profileRead(ini(), "Schedule", "Iniflg", "<none>", 128); }
    void tickAt(int h, int m, int s) {
        clock.set(platform::makeLocalTime(2026, 12, 7, h, m, s));
        tick.Timer1_Timer();
    }

    testsupport::TempDir dir;
    platform::ManualClock clock;
    testsupport::RecordingSink sink;
    const platform::LocalFileSystem files;
    ProgramContext ctx;
    FakeTimer timer;
    SchedulerTick tick{ctx, timer};
};

TEST_F(TickTest, FirstIdleTickWritesIniflgOnceAndRestartsTheTimer) {
    tickAt(9, 59, 30);
    EXPECT_EQ(iniflg(), "1");
    EXPECT_EQ(timer.calls, (std::vector<bool>{false, true}));

    testsupport::writeFile(ini(), "[Schedule]\r\nIniflg=0\r\n"); // another program's value stays
    tickAt(10, 5, 30);
    EXPECT_EQ(iniflg(), "0");
    EXPECT_TRUE(tick.idleMarker());
}

TEST_F(TickTest, FailedIniflgWriteIsReportedOnceNotEveryMinute) {
    ::chmod(ini().c_str(), 0444);
    tickAt(9, 59, 30);
    tickAt(10, 5, 30);
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].rfind("MESSAGE\t3024\t\"1\"", 0), 0u) << sink.lines[0];
}

TEST_F(TickTest, DueTickHandsOverWithTheTimerOffAndAlwaysSwitchesItOnAgain) {
    std::vector<bool> timerDuringWork;
    std::string kinds;
    DueTickEnd end = DueTickEnd::LockTableFailed;
    std::vector<bool> toldBefore;
    tick.setDueTickWork([&](ProgramContext&, const TickState& state, ResidentSettings&, LockTableTrouble& trouble) {
        timerDuringWork = timer.calls;
        kinds = state.due.has(BackupKind::Full) ? "INIT" : "";
        toldBefore.push_back(std::exchange(trouble.told, true));
        return end;
    });

    tickAt(10, 0, 30);
    EXPECT_EQ(kinds, "INIT");
    EXPECT_EQ(timerDuringWork, (std::vector<bool>{false}));
    EXPECT_EQ(timer.calls.back(), true); // a failed lock table costs this due time only
    EXPECT_EQ(iniflg(), "<none>");       // a due tick is no idle tick
    EXPECT_FALSE(tick.idleMarker());

    end = DueTickEnd::RunCompleted;
    scheduleFullAt("10:01");
    tickAt(10, 1, 30);
    EXPECT_EQ(timer.calls.back(), true);
    EXPECT_TRUE(tick.idleMarker());
    tickAt(10, 2, 30); // idle, but a run already went through: Iniflg keeps the run's value
    EXPECT_EQ(iniflg(), "<none>");
    // The failure was remembered from the first due tick to the second; the completed run forgets it.
    scheduleFullAt("10:03");
    tickAt(10, 3, 30);
    EXPECT_EQ(toldBefore, (std::vector<bool>{false, true, false}));
}

TEST_F(TickTest, TickFiringDuringARunIsIgnored) {
    int works = 0;
    tick.setDueTickWork([&](ProgramContext&, const TickState&, ResidentSettings&, LockTableTrouble&) {
        ++works;
        const auto before = timer.calls.size();
        clock.advance(60s);
        tick.Timer1_Timer(); // the timer, switched on from the menu, fires while the run lists files
        EXPECT_EQ(timer.calls.size(), before);
        EXPECT_TRUE(tick.isRunning());
        return DueTickEnd::TimerOn;
    });
    tickAt(10, 0, 0);
    EXPECT_EQ(works, 1);
    EXPECT_EQ(tick.state().currentTick, platform::makeLocalTime(2026, 12, 7, 10, 0, 0));
    EXPECT_FALSE(tick.isRunning());
}

} // namespace
