#pragma once
// Schedule evaluation: which backup kinds are due at this tick. A scheduled minute fires once, at
// the tick that falls in it or, when no tick does, at the first tick after it; ticks more than a
// day apart fire nothing. The evaluation also fixes the run time (the current-tick time).

#include "core/settings_values.h"
#include "platform/clock.h"
#include "platform/datetime.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <variant>

namespace scheduler {

// Modes of fnTimeInWindow: which ends of the window belong to it.
enum WindowMode { kOpenWindow = 0, kClosedFrom = 1, kClosedTo = 2 };

// One end of a time-of-day window: an instant (its time of day cut to the minute) or a minute of
// the day.
using WindowEdge = std::variant<platform::LocalTime, std::chrono::minutes>;

// The evaluation's own state, kept by the tick's owner from one tick to the next.
struct TickState {
    std::optional<platform::LocalTime> startTime; // when the resident program started
    std::optional<platform::LocalTime> previousTick, currentTick;
    core::BackupKinds due; // what the last evaluation found due

    // The run time: the instant of the evaluation that found the run due.
    platform::LocalTime runTime(const platform::Clock& clock) const { return currentTick ? *currentTick : clock.now(); }
};

// Advances the tick times to `now`, sets tick.due from `settings` and tells whether any kind is due.
bool fnIsBackupDue(const core::Settings& settings, TickState& tick, platform::LocalTime now);

// The kinds of `settings` due between two ticks (both cut to the minute by the tests below).
core::BackupKinds dueKindsBetween(const core::Settings& settings, platform::LocalTime previous,
                                  platform::LocalTime current);

// The two tests of one schedule against the previous and the current tick.
bool fnDueSameDay(const core::Schedule& schedule, platform::LocalTime previous, platform::LocalTime current);
bool fnDueAcrossMidnight(const core::Schedule& schedule, platform::LocalTime previous, platform::LocalTime current);

// The weekday of `instant` is in the mask (Monday 1 ... Saturday 32, Sunday 64).
bool fnIsDayInMask(platform::LocalTime instant, std::uint8_t weekdays);

// Whether the minute of the day `time` lies between `from` and `to`: mode 0 F < t < T, mode 1
// F <= t < T, mode 2 F < t <= T, other modes false. A schedule without a valid time is never in a
// window.
bool fnTimeInWindow(const WindowEdge& from, const WindowEdge& to, std::optional<std::chrono::minutes> time, int mode);

// The instant's minute of the day is `time`.
bool fnIsSameMinute(platform::LocalTime instant, std::optional<std::chrono::minutes> time);

} // namespace scheduler
