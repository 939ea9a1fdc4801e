#pragma once
// Local civil date-times with one-second resolution, as the program's "now" and file times are
// judged by the calendar of this machine.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using LocalTime = std::chrono::local_seconds;
using LocalDays = std::chrono::local_days;

// "yyyy/MM/dd HH:mm:ss", the date-time text of logs, INI values and the backup procedure.
std::string formatDateTime(LocalTime t);
// "yyyymmdd"
std::string formatYmd(LocalTime t);
// "yyyymmddhhmmss"
std::string formatYmdHms(LocalTime t);
// "yyyy/mm/dd"
std::string formatSlashDate(LocalTime t);
// "HH:mm"
std::string formatHm(LocalTime t);
// "HH:mm:ss"
std::string formatHms(LocalTime t);

// Reads "yyyy/MM/dd HH:mm:ss" (one- or two-digit fields, seconds optional); nullopt when the
// text is not a valid date-time.
std::optional<LocalTime> parseDateTime(std::string_view text);

// Reads "yyyymmddhhmmss", exactly fourteen digits; nullopt when they are no valid date-time
// (2026/02/30 or 25:00 is refused, not wrapped around).
std::optional<LocalTime> parseYmdHms(std::string_view digits);

// Reads an "hh:mm" time of day (one- or two-digit fields, 0-23 and 0-59); nullopt otherwise.
std::optional<std::chrono::minutes> parseTimeOfDay(std::string_view text);

LocalDays dayOf(LocalTime t);
LocalTime floorToMinute(LocalTime t);
std::chrono::minutes timeOfDayMinutes(LocalTime t);
LocalTime makeLocalTime(int year, unsigned month, unsigned day, int hour = 0, int minute = 0, int second = 0);

// Weekday numbered Sunday 1 to Saturday 7.
int weekdaySunday1(LocalTime t);

// Conversions between this machine's local time and the system clock (time zone of the process).
LocalTime toLocal(std::chrono::system_clock::time_point tp);
std::chrono::system_clock::time_point fromLocal(LocalTime t);

} // namespace platform
