#include "scheduler/schedule.h"

#include <chrono>

namespace scheduler {
namespace {

using namespace std::chrono_literals;
using platform::LocalTime;

// The minute of the day of a window edge.
std::chrono::minutes edgeMinute(const WindowEdge& edge) {
    if (const auto* instant = std::get_if<LocalTime>(&edge))
        return platform::timeOfDayMinutes(*instant);
    return std::get<std::chrono::minutes>(edge);
}

// The Monday-1 ... Sunday-64 bit of the instant's weekday.
std::uint32_t weekdayBit(LocalTime instant) {
    const int sunday1 = platform::weekdaySunday1(instant);
    return sunday1 == 1 ? 64u : 1u << (sunday1 - 2);
}

} // namespace

bool fnIsBackupDue(const core::Settings& settings, TickState& tick, LocalTime now) {
    tick.previousTick = tick.previousTick ? tick.currentTick : tick.startTime;
    if (!tick.previousTick)
        tick.previousTick = now; // no start time recorded: this tick opens the first window
    tick.currentTick = now;
    tick.due = dueKindsBetween(settings, *tick.previousTick, now);
    return !tick.due.empty();
}

core::BackupKinds dueKindsBetween(const core::Settings& settings, LocalTime previous, LocalTime current) {
    if (platform::floorToMinute(current) > platform::floorToMinute(previous) + 24h)
        return {}; // after a long sleep nothing is caught up; the next tick compares with this one
    const bool sameDay = platform::weekdaySunday1(platform::floorToMinute(current)) ==
                         platform::weekdaySunday1(platform::floorToMinute(previous));
    const auto test = sameDay ? fnDueSameDay : fnDueAcrossMidnight;
    core::BackupKinds due;
    for (core::BackupKind kind : core::kBackupKinds)
        if (test(settings.schedule(kind), previous, current))
            due |= kind;
    return due;
}

bool fnDueSameDay(const core::Schedule& schedule, LocalTime previous, LocalTime current) {
    if (!fnIsDayInMask(current, schedule.weekdays))
        return false;
    return fnTimeInWindow(previous, current, schedule.time, kOpenWindow) || fnIsSameMinute(current, schedule.time);
}

bool fnDueAcrossMidnight(const core::Schedule& schedule, LocalTime previous, LocalTime current) {
    // The rest of the previous day, its last minute included.
    if (fnIsDayInMask(previous, schedule.weekdays) && fnTimeInWindow(previous, 23h + 59min, schedule.time, kClosedTo))
        return true;
    // The new day up to and including the current minute.
    return fnIsDayInMask(current, schedule.weekdays) &&
           (fnTimeInWindow(0min, current, schedule.time, kClosedFrom) || fnIsSameMinute(current, schedule.time));
}

bool fnIsDayInMask(LocalTime instant, std::uint8_t weekdays) {
    return (weekdays & weekdayBit(instant)) != 0;
}

bool fnTimeInWindow(const WindowEdge& from, const WindowEdge& to, std::optional<std::chrono::minutes> time, int mode) {
    if (!time)
        return false;
    const auto f = edgeMinute(from), t = *time, upTo = edgeMinute(to);
    switch (mode) {
    case kOpenWindow:
        return f < t && t < upTo;
    case kClosedFrom:
        return f <= t && t < upTo;
    case kClosedTo:
        return f < t && t <= upTo;
    default:
        return false;
    }
}

bool fnIsSameMinute(LocalTime instant, std::optional<std::chrono::minutes> time) {
    return time && platform::timeOfDayMinutes(instant) == *time;
}

} // namespace scheduler
