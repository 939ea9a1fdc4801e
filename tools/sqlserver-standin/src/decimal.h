#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace standin {

// A DECIMAL/NUMERIC value held exactly: its magnitude times 10^scale, and its sign. SQLite keeps
// such values as doubles; they pass through their shortest decimal text, so 1.005 stays 1.005.
struct DecimalValue {
    using Magnitude = unsigned __int128;
    Magnitude scaled = 0;
    int scale = 0;
    bool negative = false;

    int digits() const; // of the scaled magnitude, at least 1
    std::string text() const;
    double toDouble() const;
};

// Reads a number ("-12.5", "1e3", " 7 ") rounded half away from zero to `scale` digits after the
// point, as SQL Server converts to DECIMAL(p, scale); nullopt when the text is no number or the
// value has more than 38 digits.
std::optional<DecimalValue> parseDecimal(std::string_view text, int scale);
std::optional<DecimalValue> decimalFromDouble(double value, int scale);

// The precision and scale of a numeric literal ("12.50" is DECIMAL(4,2), "7" DECIMAL(1,0)).
struct DecimalType {
    int precision = 18;
    int scale = 0;
};
DecimalType literalDecimalType(std::string_view literal);

} // namespace standin
