#include "scheduler/schedule.h"

#include "common/string_utils.h"
#include "scheduler/settings.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace scheduler {
namespace {

using namespace std::chrono_literals;
using platform::LocalTime;

constexpr std::string_view kFullKind = "INIT";
constexpr std::string_view kDiffKind = "DIFF";
constexpr std::string_view kLogKind = "LOG";

// The minute of the day of a window edge; an edge text that is no time of day has none.
std::optional<std::chrono::minutes> edgeMinute(const WindowEdge& edge) {
    if (const auto* instant = std::get_if<LocalTime>(&edge))
        return platform::timeOfDayMinutes(*instant);
    return platform::parseTimeOfDay(std::get<std::string_view>(edge));
}

// The Monday-1 ... Sunday-64 bit of the instant's weekday.
std::uint32_t weekdayBit(LocalTime instant) {
    const int sunday1 = platform::weekdaySunday1(instant);
    return sunday1 == 1 ? 64u : 1u << (sunday1 - 2);
}

using ScheduleTest = bool (*)(const ProgramContext&, std::string_view, std::string_view);

void fillSlot(ProgramContext& ctx, DueSlot slot, std::string_view kind, ScheduleTest test, const std::string& day,
              const std::string& time) {
    if (test(ctx, day, time))
        ctx.dueKinds[slot] = std::string(kind);
}

} // namespace

bool fnIsBackupDue(ProgramContext& ctx) {
    const LocalTime now = ctx.clock.now();
    ctx.previousTick = ctx.previousTick ? ctx.currentTick : ctx.startTime;
    if (!ctx.previousTick)
        ctx.previousTick = now; // no start time recorded: this tick opens the first window
    ctx.currentTick = now;
    ctx.dueKinds = {"", "", ""};

    const LocalTime previous = platform::floorToMinute(*ctx.previousTick);
    const LocalTime current = platform::floorToMinute(now);
    if (current > previous + 24h)
        return false; // after a long sleep nothing is caught up; the next tick compares with this one

    const ScheduleTest test =
        platform::weekdaySunday1(current) == platform::weekdaySunday1(previous) ? fnDueSameDay : fnDueAcrossMidnight;
    const Settings& s = ctx.settings;
    fillSlot(ctx, kDueFull, kFullKind, test, s.allDay, s.allTime);
    fillSlot(ctx, kDueDiff, kDiffKind, test, s.diffDay, s.diffTime);
    fillSlot(ctx, kDueLog, kLogKind, test, s.logDay, s.logTime);
    for (const std::string& kind : ctx.dueKinds)
        if (!kind.empty())
            return true;
    return false;
}

bool fnDueSameDay(const ProgramContext& ctx, std::string_view day, std::string_view time) {
    if (!ctx.previousTick || !ctx.currentTick)
        return false;
    if (!fnIsDayInMask(*ctx.currentTick, day))
        return false;
    return fnTimeInWindow(*ctx.previousTick, *ctx.currentTick, time, kOpenWindow) ||
           fnIsSameMinute(*ctx.currentTick, time);
}

bool fnDueAcrossMidnight(const ProgramContext& ctx, std::string_view day, std::string_view time) {
    if (!ctx.previousTick || !ctx.currentTick)
        return false;
    // The rest of the previous day, its last minute included.
    if (fnIsDayInMask(*ctx.previousTick, day) && fnTimeInWindow(*ctx.previousTick, "23:59", time, kClosedTo))
        return true;
    // The new day up to and including the current minute.
    return fnIsDayInMask(*ctx.currentTick, day) &&
           (fnTimeInWindow("00:00", *ctx.currentTick, time, kClosedFrom) || fnIsSameMinute(*ctx.currentTick, time));
}

bool fnIsDayInMask(LocalTime instant, std::string_view day) {
    // The mask is used as a whole number the way the leading-number parse rounds it; a negative
    // or oversized value is no mask at all.
    const double value = std::nearbyint(common::fnVal(day));
    if (!(value >= 0 && value <= double(std::numeric_limits<std::int32_t>::max())))
        return false;
    return (static_cast<std::uint32_t>(value) & weekdayBit(instant)) != 0;
}

bool fnTimeInWindow(const WindowEdge& from, const WindowEdge& to, std::string_view time, int mode) {
    // A Time the load let through unchecked (start-up ignores the load's result) is not converted.
    if (!isValidTime(time))
        return false;
    const auto f = edgeMinute(from);
    const auto t = platform::parseTimeOfDay(time);
    const auto upTo = edgeMinute(to);
    if (!f || !t || !upTo)
        return false;
    switch (mode) {
    case kOpenWindow:
        return *f < *t && *t < *upTo;
    case kClosedFrom:
        return *f <= *t && *t < *upTo;
    case kClosedTo:
        return *f < *t && *t <= *upTo;
    default:
        return false;
    }
}

bool fnIsSameMinute(LocalTime instant, std::string_view time) {
    return platform::formatHm(instant) == time;
}

} // namespace scheduler
