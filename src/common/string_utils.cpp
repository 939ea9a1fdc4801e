#include "common/string_utils.h"

#include "platform/codepage.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace common {
namespace {

// Splits UTF-8 text into its characters.
std::vector<std::string_view> characters(std::string_view s) {
    std::vector<std::string_view> out;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t next = platform::utf8::next(s, i);
        out.push_back(s.substr(i, next - i));
        i = next;
    }
    return out;
}

// A byte that is not UTF-8 stands for itself.
char32_t codePoint(std::string_view ch) {
    char32_t cp = static_cast<unsigned char>(ch[0]);
    platform::utf8::decode(ch, 0, cp);
    return cp;
}

constexpr std::string_view kIdeographicSpace = "\u3000";

bool isDigitText(std::string_view s) {
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The plain decimal form of a number: "12", "-3", "1.5"; never an exponent, which the leading-
// number parse would read as a different, smaller number.
std::string plainNumber(double v) {
    if (!std::isfinite(v))
        return "0";
    char buf[400];
    if (v == std::floor(v))
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.15f", v);
    std::string out = buf;
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.')
            out.pop_back();
    }
    return out;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads `t` from `i` while the characters are digits, copying them to `out`; the number read.
std::size_t takeDigits(std::string_view t, std::size_t& i, std::string& out) {
    const std::size_t from = i;
    while (i < t.size() && isDigit(t[i]))
        out += t[i++];
    return i - from;
}

// The integer part: digits, and group separators wherever they stand ("1,000", "1,00" and
// "1,,000" alike: the host conversion skips them without checking the group sizes).
std::size_t takeGroupedDigits(std::string_view t, std::size_t& i, std::string& out) {
    std::size_t count = 0;
    for (; i < t.size() && (isDigit(t[i]) || t[i] == ','); ++i) {
        if (t[i] == ',')
            continue;
        out += t[i];
        ++count;
    }
    return count;
}

bool takeSign(std::string_view t, std::size_t& i, std::string& out) {
    if (i >= t.size() || (t[i] != '+' && t[i] != '-'))
        return false;
    out.insert(out.begin(), t[i++]);
    return true;
}

// An exponent needs its digits: "1e" is no number.
bool takeExponent(std::string_view t, std::size_t& i, std::string& out) {
    if (i >= t.size() || (t[i] != 'e' && t[i] != 'E' && t[i] != 'd' && t[i] != 'D'))
        return true;
    std::string exponent = "e";
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        exponent += t[i++];
    if (takeDigits(t, i, exponent) == 0)
        return false;
    out += exponent;
    return true;
}

} // namespace

std::optional<double> fnHostNumber(std::string_view text) {
    const std::string t = trim(fnToHalfWidth(text, 0));
    std::string number;
    std::size_t i = 0;
    const bool leadingSign = takeSign(t, i, number);
    std::size_t digits = takeGroupedDigits(t, i, number);
    if (i < t.size() && t[i] == '.') {
        number += t[i++];
        digits += takeDigits(t, i, number);
    }
    if (digits == 0 || !takeExponent(t, i, number))
        return std::nullopt;
    if (!leadingSign)
        takeSign(t, i, number); // "5-" is minus five
    if (i != t.size())
        return std::nullopt;
    const double value = std::strtod(number.c_str(), nullptr);
    if (!std::isfinite(value))
        return std::nullopt;
    return value;
}

double fnVal(std::string_view text) {
    std::string digits;
    std::size_t i = 0;
    const auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
            ++i;
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        digits += text[i++];
    bool seenDot = false, seenDigit = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            seenDigit = true;
        } else if (c == '.' && !seenDot) {
            digits += c;
            seenDot = true;
        } else if (c == ' ' || c == '\t') {
            continue; // Val ignores blanks inside a number
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0;
    // An exponent ("1e5", "2D3") belongs to the number when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '-' || text[j] == '+'))
            exponent += text[j++];
        const std::size_t firstDigit = j;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9')
            exponent += text[j++];
        if (j > firstDigit)
            digits += exponent;
    }
    const double value = std::strtod(digits.c_str(), nullptr);
    return std::isfinite(value) ? value : 0;
}

bool isDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string trimSpaces(std::string_view text) {
    while (true) {
        if (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
        else if (text.substr(0, kIdeographicSpace.size()) == kIdeographicSpace)
            text.remove_prefix(kIdeographicSpace.size());
        else
            break;
    }
    while (true) {
        if (!text.empty() && text.back() == ' ')
            text.remove_suffix(1);
        else if (text.size() >= kIdeographicSpace.size() &&
                 text.substr(text.size() - kIdeographicSpace.size()) == kIdeographicSpace)
            text.remove_suffix(kIdeographicSpace.size());
        else
            break;
    }
    return std::string(text);
}

std::string trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string trimRight(std::string_view text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string() : std::string(text.substr(0, last + 1));
}

std::string fnToHalfWidth(std::string_view text, std::int16_t caseMode) {
    std::string out;
    const std::string trimmed = trimSpaces(text);
    for (auto ch : characters(trimmed)) {
        const char32_t cp = codePoint(ch);
        if ((cp >= 0x20 && cp <= 0x7E) || (cp >= 0xFF61 && cp <= 0xFF9F)) {
            out += ch;
        } else if (cp == 0x3000) {
            out += ' ';
        } else if (cp == 0xFF0C || cp == 0xFF1A || cp == 0xFF0E || cp == 0xFF0F) {
            out += char(cp - 0xFF00 + 0x20); // ， ： ． ／
        } else if (cp == 0xFF0D || cp == 0x30FC) {
            out += '-';
        } else if ((cp >= 0xFF21 && cp <= 0xFF3A) || (cp >= 0xFF10 && cp <= 0xFF19) || (cp >= 0xFF41 && cp <= 0xFF5A)) {
            out += char(cp - 0xFF00 + 0x20);
        } else {
            out += ch;
        }
    }
    for (char& c : out) {
        if (caseMode == 1 && c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        else if (caseMode == 2 && c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    }
    return out;
}

std::string formatNumber(double value, std::string_view format) {
    if (format.empty() || format.find_first_not_of("#0") != std::string_view::npos)
        return plainNumber(value);
    const auto zeros = std::count(format.begin(), format.end(), '0');
    // Rounded in double, not through a 64-bit integer: a typed "1e30" would overflow one.
    const double rounded = std::round(value);
    if (!std::isfinite(rounded))
        return plainNumber(value);
    char text[400];
    std::snprintf(text, sizeof text, "%.0f", std::fabs(rounded));
    std::string digits = text;
    if (digits == "0" && zeros == 0)
        digits.clear();
    while (std::ptrdiff_t(digits.size()) < zeros)
        digits.insert(digits.begin(), '0');
    return (rounded < 0 ? "-" : "") + digits;
}

bool fnCheckNumText(std::string& text, std::string_view format, bool noZero, bool noNegative) {
    text = fnToHalfWidth(text, 0);
    const double value = fnVal(text);
    if (value == 0 && text.find_first_not_of('0') != std::string::npos)
        return false;
    text = formatNumber(value, "");
    if (!format.empty()) {
        text = formatNumber(value, format);
        if (text.size() > format.size() + (value < 0 ? 1 : 0))
            return false;
    }
    // Zero is judged on what the field will hold: "0.4" shows as "0" under "##0", and a term of
    // "0" must not pass as a positive one.
    const double shown = format.empty() ? value : fnVal(text);
    return (!noZero || shown != 0) && (!noNegative || value >= 0);
}

bool fnCheckNumBox(std::string& text, std::string_view format, std::string_view defaultText, bool noZero,
                   bool noNegative) {
    if (trim(text).empty() && !defaultText.empty())
        text = std::string(defaultText);
    const auto number = fnHostNumber(text);
    std::string checked = number ? plainNumber(*number) : text;
    const bool ok = fnCheckNumText(checked, format, noZero, noNegative);
    text = checked;
    return ok;
}

bool fnCheckInputText(std::string& text, std::string_view limitOrFormat, std::int16_t conversionMode,
                      std::int16_t charClass, bool required) {
    text = conversionMode == 9 ? trim(text) : fnToHalfWidth(text, conversionMode);
    const auto chars = characters(text);
    const auto count = std::int32_t(chars.size());
    bool classOk = true;
    switch (charClass) {
    case 1:
        for (auto ch : chars)
            classOk = classOk && ch.size() == 1 && std::isalnum(static_cast<unsigned char>(ch[0]));
        break;
    case 2:
        classOk = fnByteCount(text) <= count;
        break;
    case 3:
        classOk = fnByteCount(text) == 2 * count;
        break;
    case 4:
        classOk = text.empty() || isDigitText(text);
        break;
    default:
        break;
    }
    if (!classOk)
        return false;
    if (const auto limit = fnHostNumber(limitOrFormat)) {
        if (fnByteCount(text) > *limit)
            return false;
    } else if (!limitOrFormat.empty()) {
        if (std::int32_t(characters(limitOrFormat).size()) != count)
            return false;
        if (const auto value = fnHostNumber(text))
            text = formatNumber(*value, limitOrFormat);
    }
    return !text.empty() || !required;
}

std::int16_t fnByteCount(std::string_view text) {
    return std::int16_t(platform::cp932Length(text));
}

std::int32_t fnDigitValue(std::string_view digit) {
    if (digit.empty())
        return 0;
    char c = digit[0];
    if (c >= 'a' && c <= 'z')
        c = char(c - 'a' + 'A');
    if (c >= 'A')
        return c - 55;
    return std::int32_t(fnVal(std::string(1, c)));
}

std::string fnDigitChar(std::int32_t value) {
    if (value >= 10)
        return std::string(1, char(value + 55));
    return std::to_string(value);
}

std::int32_t fnFromBaseText(std::int32_t base, std::string_view text) {
    std::int64_t sum = 0, weight = 1;
    for (std::size_t i = text.size(); i-- > 0;) {
        sum += fnDigitValue(text.substr(i, 1)) * weight;
        weight *= base;
    }
    return std::int32_t(sum);
}

std::string fnToBaseText(std::int32_t base, std::int32_t value) {
    if (value < 0 || base < 2)
        return {};
    if (value == 0)
        return "0";
    std::string out;
    for (std::int64_t p = 1; p <= value; p *= base)
        out.insert(0, fnDigitChar(std::int32_t((value % (p * base)) / p)));
    return out;
}

std::string fnConvertBase(std::int32_t fromBase, std::int32_t toBase, std::string_view text) {
    return fnToBaseText(toBase, fnFromBaseText(fromBase, text));
}

} // namespace common
