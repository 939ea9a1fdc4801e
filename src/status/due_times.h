#pragma once
// The due minutes of one schedule around an instant, for telling whether the backups a schedule
// asked for were made. The schedules are the program's own, as its settings load makes them.

#include "core/settings_values.h"
#include "platform/datetime.h"

#include <optional>

namespace status {

// Whether the schedule can ever fall due: a weekday and a time of day.
bool isScheduled(const core::Schedule& schedule);

// The latest due minute at or before `t`; nullopt when the schedule names no weekday or no time.
std::optional<platform::LocalTime> lastDueAtOrBefore(const core::Schedule& schedule, platform::LocalTime t);

// The earliest due minute after `t`.
std::optional<platform::LocalTime> nextDueAfter(const core::Schedule& schedule, platform::LocalTime t);

} // namespace status
