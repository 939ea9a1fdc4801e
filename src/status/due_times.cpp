#include "status/due_times.h"

#include "scheduler/schedule.h"

namespace status {
namespace {

using platform::LocalTime;
using std::chrono::days;

// A weekly schedule repeats within eight days: looking a day further covers the same weekday
// whose minute lies on the wrong side of `t`.
constexpr int kDaysToLook = 8;

std::optional<LocalTime> dueOn(const core::Schedule& schedule, platform::LocalDays day) {
    if (!isScheduled(schedule))
        return std::nullopt;
    const LocalTime due = LocalTime(day) + *schedule.time;
    if (!scheduler::fnIsDayInMask(due, schedule.weekdays))
        return std::nullopt;
    return due;
}

} // namespace

bool isScheduled(const core::Schedule& schedule) {
    return schedule.weekdays != 0 && schedule.time.has_value();
}

std::optional<LocalTime> lastDueAtOrBefore(const core::Schedule& schedule, LocalTime t) {
    for (int back = 0; back < kDaysToLook; ++back) {
        const auto due = dueOn(schedule, platform::dayOf(t) - days(back));
        if (due && *due <= t)
            return due;
    }
    return std::nullopt;
}

std::optional<LocalTime> nextDueAfter(const core::Schedule& schedule, LocalTime t) {
    for (int ahead = 0; ahead < kDaysToLook; ++ahead) {
        const auto due = dueOn(schedule, platform::dayOf(t) + days(ahead));
        if (due && *due > t)
            return due;
    }
    return std::nullopt;
}

} // namespace status
