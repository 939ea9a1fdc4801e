#pragma once
// Schedules as a person types them, and as MSDE_DBTOOL.INI stores them: a weekday mask (Monday 1,
// Tuesday 2 ... Sunday 64) and "hh:mm", or "NON" for a kind that is not scheduled.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// "mon-fri", "mon,thu", "sat sun", "fri-mon" (a range may wrap past Sunday), "weekdays",
// "weekend", "daily", "none", or the mask itself ("9"). Names may be written out and in any case.
// 0 for "none"; nullopt for anything else.
std::optional<std::uint8_t> parseWeekdays(std::string_view text);

// The mask the way parseWeekdays reads it back: "daily", "none", "mon-fri", "mon,thu,sun".
std::string weekdaysText(std::uint8_t mask);

// "h:mm" or "hh:mm" within a day, as the settings store it ("2:30" gives "02:30").
std::optional<std::string> parseTime(std::string_view text);

// One kind's schedule in the settings' texts.
struct ScheduleTexts {
    std::string day = "NON", time = "NON";
    bool scheduled() const { return day != "NON"; }
    bool operator==(const ScheduleTexts&) const = default;
};

// "DAYS hh:mm" ("mon-fri 02:00", "daily 1:30") or "none"; nullopt when either part is no good.
std::optional<ScheduleTexts> parseSchedule(std::string_view text);

// The schedule as parseSchedule reads it: "mon-fri 02:00" or "none". Texts the settings hold but
// no schedule could come from ("0", "24:00") are shown as they stand.
std::string scheduleText(const ScheduleTexts& schedule);

} // namespace setup
