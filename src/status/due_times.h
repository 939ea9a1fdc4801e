#pragma once
// The due minutes of one schedule (weekday mask and "hh:mm") around an instant, for telling
// whether the backups a schedule asked for were made.

#include "platform/datetime.h"

#include <optional>
#include <string>

namespace status {

struct Schedule {
    std::string day;  // weekday mask, Monday 1 ... Sunday 64
    std::string time; // "hh:mm"
};

// The latest due minute at or before `t`; nullopt when the schedule names no weekday or no time.
std::optional<platform::LocalTime> lastDueAtOrBefore(const Schedule& schedule, platform::LocalTime t);

// The earliest due minute after `t`.
std::optional<platform::LocalTime> nextDueAfter(const Schedule& schedule, platform::LocalTime t);

} // namespace status
