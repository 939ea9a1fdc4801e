#pragma once
// Schedule evaluation: which backup kinds are due at this tick. A scheduled minute fires once, at
// the tick that falls in it or, when no tick does, at the first tick after it; ticks more than a
// day apart fire nothing. The evaluation also fixes the run time (the current-tick time).

#include "platform/datetime.h"
#include "scheduler/context.h"

#include <string_view>
#include <variant>

namespace scheduler {

// Modes of fnTimeInWindow: which ends of the window belong to it.
enum WindowMode { kOpenWindow = 0, kClosedFrom = 1, kClosedTo = 2 };

// One end of a time-of-day window: an instant (its time of day cut to the minute) or an "hh:mm"
// text.
using WindowEdge = std::variant<platform::LocalTime, std::string_view>;

// Advances the tick times, rebuilds ctx.dueKinds and tells whether any slot was filled.
bool fnIsBackupDue(ProgramContext& ctx);

// The two tests of one schedule against ctx.previousTick and ctx.currentTick.
bool fnDueSameDay(const ProgramContext& ctx, std::string_view day, std::string_view time);
bool fnDueAcrossMidnight(const ProgramContext& ctx, std::string_view day, std::string_view time);

// The weekday of `instant` is in the mask `day` (decimal text, leading-number parse: "NON" and ""
// are 0 and match nothing). Bits: Monday 1 ... Saturday 32, Sunday 64.
bool fnIsDayInMask(platform::LocalTime instant, std::string_view day);

// Whether the time of day `time` lies between `from` and `to` (minutes): mode 0 F < t < T,
// mode 1 F <= t < T, mode 2 F < t <= T, other modes false. A `time` that is not a valid "hh:mm"
// text is never in a window.
bool fnTimeInWindow(const WindowEdge& from, const WindowEdge& to, std::string_view time, int mode);

// The instant formatted "hh:mm" equals `time` exactly.
bool fnIsSameMinute(platform::LocalTime instant, std::string_view time);

} // namespace scheduler
