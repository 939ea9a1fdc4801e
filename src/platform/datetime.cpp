#include "platform/datetime.h"

#include <cstdio>
#include <ctime>

namespace platform {
namespace {

using namespace std::chrono;

struct Fields {
    int year;
    unsigned month, day;
    long hour, minute, second;
};

Fields split(LocalTime t) {
    const auto days = floor<std::chrono::days>(t);
    const year_month_day ymd{days};
    const hh_mm_ss hms{t - days};
    return {int(ymd.year()),           unsigned(ymd.month()),       unsigned(ymd.day()),
            long(hms.hours().count()), long(hms.minutes().count()), long(hms.seconds().count())};
}

template <typename... Args> std::string format(const char* fmt, Args... args) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, args...);
    return buf;
}

// Reads 1 to `maxDigits` decimal digits at `pos`; -1 when there are none.
int readNumber(std::string_view text, std::size_t& pos, std::size_t maxDigits) {
    int value = 0;
    std::size_t n = 0;
    while (pos < text.size() && n < maxDigits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++n;
    }
    return n == 0 ? -1 : value;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

} // namespace

std::string formatDateTime(LocalTime t) {
    const auto f = split(t);
    return format("%04d/%02u/%02u %02ld:%02ld:%02ld", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

std::string formatYmd(LocalTime t) {
    const auto f = split(t);
    return format("%04d%02u%02u", f.year, f.month, f.day);
}

std::string formatYmdHms(LocalTime t) {
    const auto f = split(t);
    return format("%04d%02u%02u%02ld%02ld%02ld", f.year, f.month, f.day, f.hour, f.minute, f.second);
}

std::string formatSlashDate(LocalTime t) {
    const auto f = split(t);
    return format("%04d/%02u/%02u", f.year, f.month, f.day);
}

std::string formatHm(LocalTime t) {
    const auto f = split(t);
    return format("%02ld:%02ld", f.hour, f.minute);
}

std::string formatHms(LocalTime t) {
    const auto f = split(t);
    return format("%02ld:%02ld:%02ld", f.hour, f.minute, f.second);
}

std::optional<LocalTime> parseDateTime(std::string_view text) {
    std::size_t pos = 0;
    const int y = readNumber(text, pos, 4);
    if (y < 0 || !expect(text, pos, '/'))
        return std::nullopt;
    const int mo = readNumber(text, pos, 2);
    if (mo < 0 || !expect(text, pos, '/'))
        return std::nullopt;
    const int d = readNumber(text, pos, 2);
    if (d < 0 || !expect(text, pos, ' '))
        return std::nullopt;
    const int h = readNumber(text, pos, 2);
    if (h < 0 || !expect(text, pos, ':'))
        return std::nullopt;
    const int mi = readNumber(text, pos, 2);
    if (mi < 0)
        return std::nullopt;
    int s = 0;
    if (expect(text, pos, ':') && (s = readNumber(text, pos, 2)) < 0)
        return std::nullopt;
    if (pos != text.size() || h > 23 || mi > 59 || s > 59)
        return std::nullopt;
    const year_month_day ymd{year{y}, month{unsigned(mo)}, day{unsigned(d)}};
    if (!ymd.ok())
        return std::nullopt;
    return local_days{ymd} + hours{h} + minutes{mi} + seconds{s};
}

std::optional<LocalTime> parseYmdHms(std::string_view digits) {
    if (digits.size() != 14 || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const std::string text = std::string(digits.substr(0, 4)) + "/" + std::string(digits.substr(4, 2)) + "/" +
                             std::string(digits.substr(6, 2)) + " " + std::string(digits.substr(8, 2)) + ":" +
                             std::string(digits.substr(10, 2)) + ":" + std::string(digits.substr(12, 2));
    return parseDateTime(text);
}

std::optional<std::chrono::minutes> parseTimeOfDay(std::string_view text) {
    std::size_t pos = 0;
    const int h = readNumber(text, pos, 2);
    if (h < 0 || !expect(text, pos, ':'))
        return std::nullopt;
    const int m = readNumber(text, pos, 2);
    if (m < 0 || pos != text.size() || h > 23 || m > 59)
        return std::nullopt;
    return hours{h} + minutes{m};
}

LocalDays dayOf(LocalTime t) {
    return floor<days>(t);
}

LocalTime floorToMinute(LocalTime t) {
    return floor<minutes>(t);
}

std::chrono::minutes timeOfDayMinutes(LocalTime t) {
    return floor<minutes>(t - dayOf(t));
}

LocalTime makeLocalTime(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return local_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

int weekdaySunday1(LocalTime t) {
    return int(weekday{dayOf(t)}.c_encoding()) + 1;
}

LocalTime toLocal(system_clock::time_point tp) {
    const std::time_t tt = system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return makeLocalTime(tm.tm_year + 1900, unsigned(tm.tm_mon + 1), unsigned(tm.tm_mday), tm.tm_hour, tm.tm_min,
                         tm.tm_sec);
}

system_clock::time_point fromLocal(LocalTime t) {
    const auto f = split(t);
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = int(f.month) - 1;
    tm.tm_mday = int(f.day);
    tm.tm_hour = int(f.hour);
    tm.tm_min = int(f.minute);
    tm.tm_sec = int(f.second);
    tm.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&tm));
}

} // namespace platform
