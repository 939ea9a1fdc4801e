#include "scheduler/schedule.h"

#include "platform/clock.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace core;
using namespace scheduler;
using platform::LocalTime;

namespace {

struct Schedule {
    std::string day = "NON", time = "NON";
};

// One row: the program starts, the clock is set to each tick in turn, and each tick's due kinds
// are compared ("-" for none).
struct Case {
    const char* name;
    LocalTime start;
    std::vector<LocalTime> ticks;
    Schedule all, diff, log;
    std::vector<std::string> expected;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// 2026/12/07 is a Monday.
LocalTime mon(int h, int m, int s) {
    return platform::makeLocalTime(2026, 12, 7, h, m, s);
}
LocalTime tue(int h, int m, int s) {
    return platform::makeLocalTime(2026, 12, 8, h, m, s);
}
LocalTime sat(int h, int m, int s) {
    return platform::makeLocalTime(2026, 12, 12, h, m, s);
}
LocalTime sun(int h, int m, int s) {
    return platform::makeLocalTime(2026, 12, 13, h, m, s);
}

std::string dueText(const TickState& tick) {
    std::string out;
    for (BackupKind kind : kBackupKinds)
        if (tick.due.has(kind))
            out += (out.empty() ? "" : " ") + std::string(kindCode(kind));
    return out.empty() ? "-" : out;
}

const std::vector<Case>& cases() {
    // clang-format off
    static const std::vector<Case> rows = {
        {"StrictWindowFiresOnce", mon(8, 58, 30), {mon(8, 59, 30), mon(9, 0, 30), mon(9, 1, 30)},
         {"1", "09:00"}, {}, {}, {"-", "INIT", "-"}},
        {"DelayedTickCatchesEveryMinuteItSkipped", mon(8, 57, 50), {mon(8, 58, 50), mon(9, 1, 10)},
         {"1", "08:58"}, {"1", "09:00"}, {"1", "09:01"}, {"INIT", "DIFF LOG"}},
        {"StartMinuteItselfIsNotCaughtUp", mon(9, 0, 5), {mon(9, 1, 5)},
         {"1", "09:00"}, {"1", "09:01"}, {}, {"DIFF"}},
        {"TickAtStartMinuteFiresIt", mon(3, 0, 0), {mon(3, 0, 1)},
         {"127", "03:00"}, {"127", "02:00"}, {}, {"INIT"}},
        {"AllThreeKindsAtOneMinute", mon(9, 59, 30), {mon(10, 0, 30)},
         {"1", "10:00"}, {"1", "10:00"}, {"1", "10:00"}, {"INIT DIFF LOG"}},
        {"MidnightBothSidesOfIt", mon(23, 57, 40), {mon(23, 58, 40), tue(0, 0, 40)},
         {"1", "23:59"}, {"2", "00:00"}, {"2", "23:59"}, {"-", "INIT DIFF"}},
        {"MidnightLateTimeOnlyOnItsOwnDay", mon(23, 57, 40), {tue(0, 1, 40)},
         {"2", "23:58"}, {"1", "00:01"}, {"1", "00:00"}, {"-"}},
        {"MinuteBeforeMidnightNotRepeated", mon(23, 58, 10), {mon(23, 59, 10), tue(0, 0, 10)},
         {"1", "23:59"}, {}, {}, {"INIT", "-"}},
        {"TicksMoreThanADayApartFireNothing", mon(9, 0, 0), {mon(9, 1, 0), tue(9, 2, 0), tue(9, 3, 0)},
         {"127", "09:02"}, {"127", "09:03"}, {}, {"-", "-", "DIFF"}},
        {"ExactlyADayApartIsStillEvaluated", mon(9, 0, 0), {mon(9, 1, 30), tue(9, 1, 10)},
         {"1", "12:00"}, {"2", "09:01"}, {"2", "09:02"}, {"-", "INIT DIFF"}},
        {"ClockSetBackAcrossMidnightIsTakenAsItStands", tue(0, 0, 0), {tue(0, 0, 30), mon(23, 59, 30)},
         {"2", "12:00"}, {"1", "12:00"}, {}, {"-", "INIT DIFF"}},
        {"NonDaysNeverMatch", mon(8, 59, 0), {mon(9, 0, 0)},
         {"NON", "09:00"}, {"NON", "NON"}, {"", "09:00"}, {"-"}},
        {"SundayIsBit64", sun(8, 59, 0), {sun(9, 0, 0)},
         {"65", "09:00"}, {"63", "09:00"}, {"64", "09:00"}, {"INIT LOG"}},
        {"SaturdayIsBit32AndTheMaskIsALeadingNumber", sat(8, 59, 0), {sat(9, 0, 0)},
         {"32", "09:00"}, {"31", "09:00"}, {"96abc", "09:00"}, {"INIT LOG"}},
        {"InvalidTimeWithValidDayNeverDue", mon(8, 58, 0), {mon(9, 1, 0)},
         {"127", "9:00"}, {"127", "09:0"}, {"127", "24:00"}, {"-"}},
        {"InvalidTimeAcrossMidnightNeverDue", mon(23, 58, 0), {tue(0, 1, 0)},
         {"127", "NON"}, {"127", "0:00"}, {"127", "23:60"}, {"-"}},
    };
    // clang-format on
    return rows;
}

class ScheduleTable : public ::testing::TestWithParam<Case> {};

TEST_P(ScheduleTable, DueKindsPerTick) {
    const Case& c = GetParam();
    TickState state;
    state.startTime = c.start;
    Settings settings;
    settings.schedules = {scheduleFromTexts(c.all.day, c.all.time), scheduleFromTexts(c.diff.day, c.diff.time),
                          scheduleFromTexts(c.log.day, c.log.time)};

    std::vector<std::string> got;
    for (LocalTime tick : c.ticks) {
        const bool due = fnIsBackupDue(settings, state, tick);
        got.push_back(dueText(state));
        EXPECT_EQ(due, got.back() != "-") << platform::formatDateTime(tick);
        EXPECT_EQ(state.currentTick, tick); // the run time is the tick, also when nothing is due
    }
    EXPECT_EQ(got, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ScheduleTable, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
