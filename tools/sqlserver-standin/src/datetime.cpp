#include "datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace standin {
namespace {

constexpr std::int64_t kTicksPerDay = 25'920'000; // 300 ticks a second
constexpr int kMinYear = 1753;                    // DATETIME's range
constexpr int kMaxYear = 9999;
constexpr std::int64_t kDatetime2Days = 3'652'059; // days from 0001-01-01 to 10000-01-01

// Days since 1900-01-01 of a proleptic Gregorian date.
std::int64_t daysFrom1900(int year, unsigned month, unsigned day) {
    const std::chrono::sys_days date{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
    const std::chrono::sys_days epoch{std::chrono::year{1900} / 1 / 1};
    return (date - epoch).count();
}

class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    // Reads between min and max digits.
    bool digits(int min, int max, int& value, int* count = nullptr) {
        int n = 0;
        value = 0;
        while (n < max && pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            value = value * 10 + (text_[pos_++] - '0');
            ++n;
        }
        if (count != nullptr) {
            *count = n;
        }
        return n >= min;
    }
    bool take(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool atEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::string_view trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

constexpr std::int64_t kUnitsPerSecond = 10'000'000; // DATETIME2's 100 ns
constexpr std::int64_t kUnitsPerDay = 86400 * kUnitsPerSecond;

// Reads "hh:mm[:ss[.f…]]" into 100 ns units since midnight, exactly.
bool parseTime(Scanner& in, std::int64_t& units) {
    int hour = 0, minute = 0, second = 0;
    if (!in.digits(1, 2, hour) || !in.take(':') || !in.digits(2, 2, minute)) {
        return false;
    }
    std::int64_t fraction = 0;
    if (in.take(':')) {
        if (!in.digits(2, 2, second)) {
            return false;
        }
        if (in.take('.')) {
            int value = 0, count = 0;
            if (!in.digits(1, 7, value, &count)) {
                return false;
            }
            fraction = value;
            for (int i = count; i < 7; ++i) {
                fraction *= 10;
            }
        }
    }
    if (hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    units = (hour * 3600 + minute * 60 + second) * kUnitsPerSecond + fraction;
    return true;
}

struct DateParts {
    int year = 0, month = 0, day = 0;
    std::int64_t units = 0; // of the time of day
};

// "yyyy-mm-dd", "yyyy/m/d", with " " or "T" and a time of day or without; a real calendar date.
std::optional<DateParts> parseDateParts(std::string_view text) {
    Scanner in(trim(text));
    DateParts parts;
    if (!in.digits(4, 4, parts.year)) {
        return std::nullopt;
    }
    const char separator = in.take('-') ? '-' : (in.take('/') ? '/' : '\0');
    if (separator == '\0' || !in.digits(1, 2, parts.month) || !in.take(separator) || !in.digits(1, 2, parts.day)) {
        return std::nullopt;
    }
    if (!in.atEnd() && (!(in.take(' ') || in.take('T')) || !parseTime(in, parts.units))) {
        return std::nullopt;
    }
    if (!in.atEnd() || parts.month < 1 || parts.month > 12 || parts.day < 1) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{parts.year},
                                          std::chrono::month{static_cast<unsigned>(parts.month)},
                                          std::chrono::day{static_cast<unsigned>(parts.day)}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    return parts;
}

} // namespace

std::optional<DateTimeValue> parseDatetime(std::string_view text) {
    const auto parts = parseDateParts(text);
    if (!parts || parts->year < kMinYear || parts->year > kMaxYear) {
        return std::nullopt;
    }
    std::int64_t days =
        daysFrom1900(parts->year, static_cast<unsigned>(parts->month), static_cast<unsigned>(parts->day));
    std::int64_t ticks = (parts->units * 3 + 50'000) / 100'000; // 1/300 s, rounded
    if (ticks >= kTicksPerDay) {                                // 23:59:59.999 rounds up into the next day
        ticks -= kTicksPerDay;
        ++days;
    }
    return DateTimeValue{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks)};
}

std::optional<DateTime2Value> parseDatetime2(std::string_view text, int scale) {
    const auto parts = parseDateParts(text);
    if (!parts || parts->year < 1) {
        return std::nullopt;
    }
    std::int64_t step = 1;
    for (int i = scale; i < 7; ++i) {
        step *= 10;
    }
    std::int64_t units = (parts->units + step / 2) / step * step;
    const std::chrono::sys_days date{std::chrono::year{parts->year} / parts->month / parts->day};
    std::int64_t days = (date - std::chrono::sys_days{std::chrono::year{1} / 1 / 1}).count();
    if (units >= kUnitsPerDay) {
        units -= kUnitsPerDay;
        ++days;
    }
    if (days >= kDatetime2Days) { // rounded past 9999-12-31
        return std::nullopt;
    }
    return DateTime2Value{static_cast<std::int32_t>(days), static_cast<std::uint64_t>(units)};
}

std::string formatDatetime2(const DateTime2Value& value, int scale) {
    const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::year{1} / 1 / 1} +
                                          std::chrono::days{value.days}};
    const std::uint64_t seconds = value.units / kUnitsPerSecond;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
    std::string out = text;
    if (scale > 0) {
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%07d", static_cast<int>(value.units % kUnitsPerSecond));
        out += std::string(fraction, static_cast<std::size_t>(scale) + 1);
    }
    return out;
}

std::optional<std::chrono::milliseconds> parseTimeOfDay(std::string_view text) {
    Scanner in(trim(text));
    std::int64_t units = 0;
    if (!parseTime(in, units) || !in.atEnd()) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(units / 10'000);
}

std::optional<DateTimeValue> datetimeFromDays(double days) {
    if (!std::isfinite(days) || days < static_cast<double>(daysFrom1900(kMinYear, 1, 1)) ||
        days >= static_cast<double>(daysFrom1900(kMaxYear + 1, 1, 1))) {
        return std::nullopt;
    }
    const double whole = std::floor(days);
    std::int64_t ticks = std::llround((days - whole) * static_cast<double>(kTicksPerDay));
    std::int64_t day = static_cast<std::int64_t>(whole);
    if (ticks >= kTicksPerDay) {
        ticks -= kTicksPerDay;
        ++day;
    }
    return DateTimeValue{static_cast<std::int32_t>(day), static_cast<std::uint32_t>(ticks)};
}

std::string localNowText() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
    return text;
}

std::optional<std::time_t> parseRunTime(std::string_view text) {
    Scanner in(text);
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!in.digits(4, 4, year) || !in.take('/') || !in.digits(2, 2, month) || !in.take('/') || !in.digits(2, 2, day) ||
        !in.take(' ') || !in.digits(2, 2, hour) || !in.take(':') || !in.digits(2, 2, minute) || !in.take(':') ||
        !in.digits(2, 2, second) || !in.atEnd()) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    const std::time_t result = std::mktime(&local);
    if (result == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return result;
}

} // namespace standin

namespace standin {

std::string formatDatetime(const DateTimeValue& value) {
    const std::chrono::sys_days epoch{std::chrono::year{1900} / 1 / 1};
    const std::chrono::year_month_day ymd{epoch + std::chrono::days{value.days}};
    const std::int64_t millis = (static_cast<std::int64_t>(value.ticks) * 10 + 1) / 3;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d.%03d", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(millis / 3'600'000), static_cast<int>(millis / 60'000 % 60),
                  static_cast<int>(millis / 1000 % 60), static_cast<int>(millis % 1000));
    return text;
}

} // namespace standin
