#include "core/settings_values.h"

#include "common/string_utils.h"
#include "core/settings.h"

#include <cmath>
#include <limits>

namespace core {
// The mask is used as a whole number the way the leading-number parse rounds it; a negative or
// oversized value is no mask at all.
std::uint8_t weekdayMaskOf(std::string_view day) {
    const double value = std::nearbyint(common::fnVal(day));
    if (!(value >= 0 && value <= double(std::numeric_limits<std::int32_t>::max())))
        return 0;
    return std::uint8_t(static_cast<std::uint32_t>(value) & 0x7Fu);
}

Schedule scheduleFromTexts(std::string_view day, std::string_view time) {
    Schedule s;
    s.dayText = std::string(day);
    s.timeText = std::string(time);
    s.weekdays = weekdayMaskOf(day);
    // A Time the load let through unchecked (start-up ignores the load's result) is not converted.
    if (isValidTime(time))
        s.time = platform::parseTimeOfDay(time);
    return s;
}

Term termFromText(std::string_view text, double highest, std::string_view fallback) {
    const double value = common::fnVal(text);
    const bool kept = value >= 1 && value <= highest;
    Term term;
    term.text = std::string(kept ? text : fallback);
    term.days = std::chrono::days(long(common::fnVal(term.text)));
    return term;
}

} // namespace core
