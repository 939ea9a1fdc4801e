#include "common/ansi_strings.h"

#include "common/string_utils.h"
#include "platform/codepage.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace common {

using platform::fromCp932;
using platform::toCp932;

std::int16_t fnSplitToArray(std::string_view text, std::string_view separator, std::vector<std::string>& parts) {
    if (trim(text).empty())
        return 0;
    parts.clear();
    if (separator.empty()) {
        parts.emplace_back(text);
        return 1;
    }
    std::size_t pos = 0;
    while (true) {
        const auto at = text.find(separator, pos);
        if (at == std::string_view::npos) {
            parts.emplace_back(text.substr(pos));
            break;
        }
        parts.emplace_back(text.substr(pos, at - pos));
        pos = at + separator.size();
    }
    return std::int16_t(parts.size());
}

std::int32_t fnLenAnsi(std::string_view text) {
    return std::int32_t(toCp932(text).size());
}

std::string fnCutAtNull(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

std::int16_t fnInStrAnsi(std::int32_t start, std::string_view text, std::string_view search) {
    const std::string bytes = toCp932(text);
    if (start < 1 || std::size_t(start) > bytes.size() + 1)
        return 0;
    const auto at = bytes.find(toCp932(search), std::size_t(start - 1));
    return at == std::string::npos ? 0 : std::int16_t(at + 1);
}

std::int16_t fnInStrAnsi(std::string_view text, std::string_view search) {
    return fnInStrAnsi(1, text, search);
}

std::string fnLeftAnsi(std::string_view text, std::int32_t n) {
    const std::string bytes = toCp932(text);
    return fromCp932(bytes.substr(0, std::size_t(std::max(n, 0))));
}

std::string fnMidAnsi(std::string_view text, std::int32_t start, std::optional<std::int32_t> n) {
    const std::string bytes = toCp932(text);
    if (start < 1 || std::size_t(start) > bytes.size())
        return {};
    const std::size_t count = n ? std::size_t(std::max(*n, 0)) : std::string::npos;
    return fromCp932(bytes.substr(std::size_t(start - 1), count));
}

std::string fnRightAnsi(std::string_view text, std::int32_t n) {
    const std::string bytes = toCp932(text);
    const std::size_t count = std::min(bytes.size(), std::size_t(std::max(n, 0)));
    return fromCp932(bytes.substr(bytes.size() - count));
}

void sbStrToByteArray(std::string_view text, std::vector<std::uint8_t>& bytes, std::int16_t size,
                      std::int16_t padMode) {
    const std::string encoded = toCp932(text);
    const std::size_t copied = std::min(bytes.size(), encoded.size());
    for (std::size_t i = 0; i < copied; ++i)
        bytes[i] = static_cast<std::uint8_t>(encoded[i]);
    if (padMode == 0)
        return;
    const std::size_t limit = std::min(bytes.size(), std::size_t(std::max<std::int16_t>(size, 0)));
    for (std::size_t i = copied; i < limit; ++i)
        bytes[i] = padMode == 1 ? 0 : 32;
}

std::string fnByteStrToText(std::string_view bytes) {
    return fnCutAtNull(fromCp932(bytes));
}

std::optional<std::int32_t> fnToLong(std::string_view text) {
    const std::string t = trim(text);
    if (t.empty())
        return 0;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return std::nullopt;
    return std::int32_t(v);
}

} // namespace common
