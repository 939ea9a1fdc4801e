#include "datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace standin {
namespace {

constexpr std::int64_t kTicksPerDay = 25'920'000; // 300 ticks a second
constexpr int kMinYear = 1753;                    // DATETIME's range
constexpr int kMaxYear = 9999;

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

// Reads "hh:mm[:ss[.f…]]" into ticks.
bool parseTime(Scanner& in, std::int64_t& ticks) {
    int hour = 0, minute = 0, second = 0;
    if (!in.digits(1, 2, hour) || !in.take(':') || !in.digits(2, 2, minute)) {
        return false;
    }
    double fraction = 0;
    if (in.take(':')) {
        if (!in.digits(2, 2, second)) {
            return false;
        }
        if (in.take('.')) {
            int value = 0, count = 0;
            if (!in.digits(1, 7, value, &count)) {
                return false;
            }
            fraction = value / std::pow(10.0, count);
        }
    }
    if (hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    ticks = std::llround((hour * 3600 + minute * 60 + second + fraction) * 300);
    return true;
}

} // namespace

std::optional<DateTimeValue> parseDatetime(std::string_view text) {
    Scanner in(trim(text));
    int year = 0, month = 0, day = 0;
    if (!in.digits(4, 4, year)) {
        return std::nullopt;
    }
    const char separator = in.take('-') ? '-' : (in.take('/') ? '/' : '\0');
    if (separator == '\0' || !in.digits(1, 2, month) || !in.take(separator) || !in.digits(1, 2, day)) {
        return std::nullopt;
    }
    std::int64_t ticks = 0;
    if (!in.atEnd() && (!(in.take(' ') || in.take('T')) || !parseTime(in, ticks))) {
        return std::nullopt;
    }
    if (!in.atEnd() || year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok()) {
        return std::nullopt;
    }
    std::int64_t days = daysFrom1900(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    if (ticks >= kTicksPerDay) { // 23:59:59.999 rounds up into the next day
        ticks -= kTicksPerDay;
        ++days;
    }
    return DateTimeValue{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks)};
}

std::optional<std::chrono::milliseconds> parseTimeOfDay(std::string_view text) {
    Scanner in(trim(text));
    std::int64_t ticks = 0;
    if (!parseTime(in, ticks) || !in.atEnd()) {
        return std::nullopt;
    }
    return std::chrono::milliseconds(ticks * 10 / 3);
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
