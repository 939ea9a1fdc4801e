#pragma once
// Entry-text routines of the settings dialog: full-width to half-width, numeric and character
// checks, code page byte counts and number bases.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace common {

// The leading number of a text as the classic Val reads it: blanks skipped, digits up to the
// first other character ("12abc" is 12, "abc" is 0).
double fnVal(std::string_view text);

// The number the whole text holds as the host's conversion to a floating-point number reads it,
// nothing when it holds none: blanks around it, a sign before or after it ("5-" is minus five),
// group separators in the integer part ("1,000" is a thousand), a decimal point, an exponent
// ("1e3", "1D3"). Full-width digits, signs and separators count as their half-width forms.
std::optional<double> fnHostNumber(std::string_view text);

// Not empty, and ASCII digits only.
bool isDigits(std::string_view text);

// Removes ASCII and ideographic spaces at both ends.
std::string trimSpaces(std::string_view text);
// Removes ASCII blanks at both ends, or at the right end only.
std::string trim(std::string_view text);
std::string trimRight(std::string_view text);

// Mode 1 lower case, 2 upper case, other values keep the case.
std::string fnToHalfWidth(std::string_view text, std::int16_t caseMode);

// Formats a number with a format of "#" and "0" digits ("##0", "000"); other formats give the
// plain number.
std::string formatNumber(double value, std::string_view format);

bool fnCheckNumText(std::string& text, std::string_view format, bool noZero, bool noNegative);

// The entry-box check on a text: `text` is the box's content and receives what the box shows
// afterwards.
bool fnCheckNumBox(std::string& text, std::string_view format, std::string_view defaultText, bool noZero,
                   bool noNegative);

// `limitOrFormat` is a maximum byte count when it is numeric, else a format text.
bool fnCheckInputText(std::string& text, std::string_view limitOrFormat, std::int16_t conversionMode,
                      std::int16_t charClass, bool required);

std::int16_t fnByteCount(std::string_view text);

std::int32_t fnDigitValue(std::string_view digit);
std::string fnDigitChar(std::int32_t value);
std::int32_t fnFromBaseText(std::int32_t base, std::string_view text);
std::string fnToBaseText(std::int32_t base, std::int32_t value);
std::string fnConvertBase(std::int32_t fromBase, std::int32_t toBase, std::string_view text);

} // namespace common
