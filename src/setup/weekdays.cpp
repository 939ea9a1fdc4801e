#include "setup/weekdays.h"

#include "common/string_utils.h"
#include "core/settings.h"

#include <array>
#include <vector>

namespace setup {
namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"monday", "tuesday",  "wednesday", "thursday",
                                                       "friday", "saturday", "sunday"};
constexpr std::uint8_t kEveryDay = 127;

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = (c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
    return out;
}

// The day a name stands for (0 = Monday): at least its first three letters.
std::optional<int> dayIndex(std::string_view word) {
    if (word.size() < 3)
        return std::nullopt;
    for (std::size_t d = 0; d < kDayNames.size(); ++d)
        if (kDayNames[d].starts_with(word))
            return int(d);
    return std::nullopt;
}

std::uint8_t bitOf(int day) {
    return std::uint8_t(1u << day);
}

// One word of a weekday list: a name, a range of names, or a word for a set.
std::optional<std::uint8_t> wordMask(std::string_view word) {
    if (word == "daily" || word == "all" || word == "*")
        return kEveryDay;
    if (word == "weekdays")
        return std::uint8_t(31);
    if (word == "weekend")
        return std::uint8_t(96);
    if (const auto dash = word.find('-'); dash != std::string_view::npos) {
        const auto from = dayIndex(word.substr(0, dash)), to = dayIndex(word.substr(dash + 1));
        if (!from || !to)
            return std::nullopt;
        std::uint8_t mask = 0;
        for (int d = *from;; d = (d + 1) % 7) {
            mask |= bitOf(d);
            if (d == *to)
                break;
        }
        return mask;
    }
    if (const auto day = dayIndex(word))
        return bitOf(*day);
    return std::nullopt;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!out.back().empty())
                out.emplace_back();
        } else {
            out.back() += c;
        }
    }
    if (out.back().empty())
        out.pop_back();
    return out;
}

std::string dayAbbreviation(int day) {
    return std::string(kDayNames[std::size_t(day)].substr(0, 3));
}

} // namespace

std::optional<std::uint8_t> parseWeekdays(std::string_view text) {
    const std::string t = lower(common::trim(text));
    if (t == "none" || t == "non" || t == "-")
        return std::uint8_t(0);
    if (core::isValidDay(t))
        return std::uint8_t(common::fnVal(t));
    const auto list = words(t);
    if (list.empty())
        return std::nullopt;
    std::uint8_t mask = 0;
    for (const std::string& word : list) {
        const auto bits = wordMask(word);
        if (!bits)
            return std::nullopt;
        mask |= *bits;
    }
    return mask;
}

std::string weekdaysText(std::uint8_t mask) {
    mask &= kEveryDay;
    if (mask == 0)
        return "none";
    if (mask == kEveryDay)
        return "daily";
    std::string out;
    for (int d = 0; d < 7;) {
        if ((mask & bitOf(d)) == 0) {
            ++d;
            continue;
        }
        int end = d;
        while (end + 1 < 7 && (mask & bitOf(end + 1)) != 0)
            ++end;
        out += (out.empty() ? "" : ",") + dayAbbreviation(d);
        if (end - d >= 2)
            out += "-" + dayAbbreviation(end);
        else if (end > d)
            out += "," + dayAbbreviation(end);
        d = end + 1;
    }
    return out;
}

std::optional<std::string> parseTime(std::string_view text) {
    std::string t = common::trim(text);
    if (t.size() == 4 && t[1] == ':')
        t.insert(0, "0");
    if (!core::isValidTime(t))
        return std::nullopt;
    return t;
}

std::optional<ScheduleTexts> parseSchedule(std::string_view text) {
    const std::string t = common::trim(text);
    if (const auto none = parseWeekdays(t); none && *none == 0)
        return ScheduleTexts{};
    const auto space = t.find_last_of(" \t");
    if (space == std::string::npos)
        return std::nullopt;
    const auto days = parseWeekdays(t.substr(0, space));
    const auto time = parseTime(t.substr(space + 1));
    if (!days || *days == 0 || !time)
        return std::nullopt;
    return ScheduleTexts{std::to_string(*days), *time};
}

std::string scheduleText(const ScheduleTexts& schedule) {
    if (!schedule.scheduled())
        return "none";
    const std::string days =
        core::isValidDay(schedule.day) ? weekdaysText(std::uint8_t(common::fnVal(schedule.day))) : schedule.day;
    return days + " " + schedule.time;
}

} // namespace setup
