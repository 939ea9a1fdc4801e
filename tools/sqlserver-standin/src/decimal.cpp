#include "decimal.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace standin {
namespace {

constexpr int kMaxDigits = 38;

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

int DecimalValue::digits() const {
    int n = 1;
    for (Magnitude v = scaled; v >= 10; v /= 10) {
        ++n;
    }
    return n;
}

std::string DecimalValue::text() const {
    std::string digitsText;
    for (Magnitude v = scaled; v > 0 || digitsText.empty(); v /= 10) {
        digitsText.insert(digitsText.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    }
    while (static_cast<int>(digitsText.size()) <= scale) {
        digitsText.insert(digitsText.begin(), '0');
    }
    if (scale > 0) {
        digitsText.insert(digitsText.end() - scale, '.');
    }
    return (negative && scaled != 0 ? "-" : "") + digitsText;
}

double DecimalValue::toDouble() const {
    return std::strtod(text().c_str(), nullptr);
}

std::optional<DecimalValue> parseDecimal(std::string_view text, int scale) {
    text = trimBlanks(text);
    DecimalValue value;
    value.scale = scale;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        value.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string digits; // all digits, the point dropped
    int pointAt = -1, exponent = 0;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') {
            digits += text[i];
        } else if (text[i] == '.' && pointAt < 0) {
            pointAt = static_cast<int>(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty()) {
        return std::nullopt;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        if (i + 1 == text.size()) {
            return std::nullopt;
        }
        const auto [end, ec] =
            std::from_chars(text.data() + i + 1 + (text[i + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
        if (ec != std::errc{} || end != text.data() + text.size()) {
            return std::nullopt;
        }
    } else if (i != text.size()) {
        return std::nullopt;
    }
    // The value is digits × 10^(exponent − fraction digits); keep `scale` fraction digits.
    const int fraction = (pointAt < 0 ? 0 : static_cast<int>(digits.size()) - pointAt) - exponent;
    const int keep = static_cast<int>(digits.size()) - fraction + scale; // digits before the cut
    if (keep > 2 * kMaxDigits + static_cast<int>(digits.size())) {
        return std::nullopt; // far beyond 38 digits
    }
    bool roundUp = false;
    if (keep < static_cast<int>(digits.size())) {
        roundUp = keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5';
        digits.resize(static_cast<std::size_t>(std::max(keep, 0)));
    } else {
        digits.append(static_cast<std::size_t>(keep) - digits.size(), '0');
    }
    const auto first = digits.find_first_not_of('0');
    if (first != std::string::npos && digits.size() - first > kMaxDigits) {
        return std::nullopt;
    }
    for (char c : digits) {
        value.scaled = value.scaled * 10 + static_cast<unsigned>(c - '0');
    }
    value.scaled += roundUp ? 1 : 0;
    return value;
}

std::optional<DecimalValue> decimalFromDouble(double value, int scale) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? parseDecimal(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), scale)
                             : std::nullopt;
}

DecimalType literalDecimalType(std::string_view literal) {
    const auto point = literal.find('.');
    std::size_t digits = 0, fraction = 0;
    bool leading = true;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] < '0' || literal[i] > '9') {
            continue;
        }
        const bool afterPoint = point != std::string_view::npos && i > point;
        if (leading && literal[i] == '0' && !afterPoint) {
            continue; // leading zeros of the integer part do not count
        }
        leading = false;
        ++digits;
        fraction += afterPoint ? 1 : 0;
    }
    const int scale = static_cast<int>(fraction);
    return DecimalType{std::max(static_cast<int>(digits), std::max(scale, 1)), scale};
}

} // namespace standin
