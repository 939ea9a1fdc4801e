#pragma once
// Conversions of field values the way the typed getters need them. Each gives nullopt when the
// value cannot be converted (a text that is no number, a value out of range), so that callers
// can fall back to their default instead of failing.

#include "data/variant.h"

#include <cstdint>
#include <optional>
#include <string>

namespace data {

// "Day 0" of the date system: 1899/12/30 00:00:00.
platform::LocalTime zeroDateTime();

// Text of a value: "" for Empty and Null, decimal numbers, "True"/"False", dates as
// "yyyy/MM/dd HH:mm:ss", binary data as its bytes.
std::string variantText(const Variant& v);

// Numbers from integers, floating values (rounded half to even), Booleans (True is -1), dates
// (days since day 0) and texts that hold a number. Empty is 0.
std::optional<std::int64_t> variantToInteger(const Variant& v);
std::optional<double> variantToDouble(const Variant& v);
// Currency: the value times 10000, rounded half to even.
std::optional<std::int64_t> variantToCurrency(const Variant& v);
// Dates from dates, numbers (days since day 0, fractions are the time of day) and texts
// "yyyy/MM/dd" or "yyyy/MM/dd HH:mm[:ss]". Empty is day 0.
std::optional<platform::LocalTime> variantToDate(const Variant& v);
// False for Empty, Null, False, a numeric 0 and the texts "", "0" and "False"; true otherwise.
bool variantToBit(const Variant& v);

// The numbering of variant types the wanted-type argument uses.
enum class VarType : std::int32_t {
    Empty = 0,
    Null = 1,
    Integer = 2,
    Long = 3,
    Single = 4,
    Double = 5,
    Currency = 6,
    Date = 7,
    String = 8,
    Boolean = 11,
    Byte = 17,
};

// The value converted to the wanted type; types without a conversion of their own give the value
// unchanged, a failed conversion gives Empty, Null stays Null.
Variant convertVariant(const Variant& v, std::int32_t wantedType);

} // namespace data
