#include "settings_dialog/form_values.h"

#include "common/string_utils.h"
#include "core/settings.h"

#include <algorithm>

namespace settings_dialog {

WeekDays daysFromMask(std::string_view mask) {
    WeekDays days{};
    const std::string trimmed = common::trim(mask);
    if (!core::isValidDay(trimmed))
        return days;
    const int value = std::stoi(trimmed);
    for (std::size_t i = 0; i < days.size(); ++i)
        days[i] = (value >> i) & 1;
    return days;
}

std::string maskFromDays(const WeekDays& days) {
    // Sunday is the highest bit, so the binary text runs from Sunday down to Monday.
    std::string binary;
    for (auto it = days.rbegin(); it != days.rend(); ++it)
        binary += *it ? '1' : '0';
    return common::fnConvertBase(2, 10, binary);
}

bool anyDay(const WeekDays& days) {
    return std::any_of(days.begin(), days.end(), [](bool d) { return d; });
}

} // namespace settings_dialog
