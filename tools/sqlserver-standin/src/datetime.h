#pragma once

#include "reply.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// DATETIME values live in SQLite as text "yyyy-mm-dd hh:mm:ss[.fff]". Reading accepts what
// SQL Server accepts in the usual literal forms: "-" or "/" between date parts, " " or "T" before
// the time, the time optional, seconds optional, up to seven fraction digits.
std::optional<DateTimeValue> parseDatetime(std::string_view text);

// DATETIME2(scale) from the same text forms, the fraction rounded to `scale` digits (0 to 7) and
// any year from 1 to 9999.
std::optional<DateTime2Value> parseDatetime2(std::string_view text, int scale);
// "yyyy-mm-dd hh:mm:ss" with `scale` digits of the second's fraction.
std::string formatDatetime2(const DateTime2Value& value, int scale);

// A time of day "hh:mm[:ss[.fffffff]]" as a duration since midnight (WAITFOR DELAY's argument).
std::optional<std::chrono::milliseconds> parseTimeOfDay(std::string_view text);

// A DATETIME from a number of days since 1900-01-01 (SQL Server's numeric conversion).
std::optional<DateTimeValue> datetimeFromDays(double days);

// DATETIME text "yyyy-mm-dd hh:mm:ss.fff", the form the server keeps in SQLite.
std::string formatDatetime(const DateTimeValue& value);

// The current local time as DATETIME text with milliseconds: what GetDate() returns.
std::string localNowText();

// "yyyy/MM/dd HH:mm:ss" local time, as the backup procedure's run-time argument carries it.
std::optional<std::time_t> parseRunTime(std::string_view text);

} // namespace standin
