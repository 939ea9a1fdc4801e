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

// Holds each job until the test lets it run, as a worker thread would hold it while the GUI thread
// goes on.
class HeldJobs : public JobRunner {
public:
    void start(Work work, Finished finished) override {
        work_ = std::move(work);
        finished_ = std::move(finished);
    }
    void requestStop(std::string line) override { stop_.request(std::move(line)); }
    bool holding() const { return bool(work_); }
    void runHeldJob() {
        auto work = std::exchange(work_, {});
        std::exchange(finished_, {})(work(stop_));
    }

private:
    Work work_;
    Finished finished_;
    JobStop stop_;
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
    HeldJobs jobs;
    SchedulerTick tick{ctx, jobs};
};

TEST_F(TickTest, FirstIdleTickWritesIniflgOnceAndRestartsTheTimer) {
    tickAt(9, 59, 30);
    EXPECT_EQ(iniflg(), "1");

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

TEST_F(TickTest, ADueTickHandsItsWorkToAJobAndFollowsItsEnd) {
    std::string kinds;
    DueTickEnd end = DueTickEnd::LockTableFailed;
    std::vector<bool> toldBefore;
    std::vector<std::string> observed;
    tick.setJobObservers([&] { observed.push_back("started"); },
                         [&](const DueTickResult& r) { observed.push_back(r.end == end ? "finished" : "?"); });
    tick.setDueTickWork([&](DueTickJob& job) {
        kinds = job.tick.due.has(BackupKind::Full) ? "INIT" : "";
        toldBefore.push_back(std::exchange(job.lockTrouble.told, true));
        return DueTickResult{end, std::nullopt};
    });

    tickAt(10, 0, 30);
    ASSERT_TRUE(jobs.holding());
    EXPECT_TRUE(tick.jobRunning());
    jobs.runHeldJob();
    EXPECT_EQ(kinds, "INIT");
    EXPECT_EQ(observed, (std::vector<std::string>{"started", "finished"}));
    EXPECT_EQ(iniflg(), "<none>"); // a due tick is no idle tick
    EXPECT_FALSE(tick.idleMarker());

    end = DueTickEnd::RunCompleted;
    scheduleFullAt("10:01");
    tickAt(10, 1, 30);
    jobs.runHeldJob();
    EXPECT_TRUE(tick.idleMarker());
    tickAt(10, 2, 30); // idle, but a run already went through: Iniflg keeps the run's value
    EXPECT_EQ(iniflg(), "<none>");
    // The failure was remembered from the first due tick to the second; the completed run forgets it.
    scheduleFullAt("10:03");
    tickAt(10, 3, 30);
    jobs.runHeldJob();
    EXPECT_EQ(toldBefore, (std::vector<bool>{false, true, false}));
}

TEST_F(TickTest, TicksWhileAJobRunsWaitAndAKindThatFellDueMeanwhileIsMadeAfterIt) {
    std::vector<platform::LocalTime> runTimes;
    tick.setDueTickWork([&](DueTickJob& job) {
        runTimes.push_back(job.tick.runTime(clock));
        return DueTickResult{DueTickEnd::RunCompleted, std::nullopt};
    });
    tickAt(10, 0, 30);
    scheduleFullAt("10:05"); // due while the first job still runs (a long backup, an open dialog)
    for (int m = 1; m <= 7; ++m)
        tickAt(10, m, 30);
    EXPECT_TRUE(runTimes.empty());
    jobs.runHeldJob();
    tickAt(10, 8, 30); // the first tick after the job looks back to the last evaluation
    ASSERT_TRUE(jobs.holding());
    jobs.runHeldJob();
    EXPECT_EQ(runTimes, (std::vector<platform::LocalTime>{platform::makeLocalTime(2026, 12, 7, 10, 0, 30),
                                                          platform::makeLocalTime(2026, 12, 7, 10, 8, 30)}));
}

} // namespace
