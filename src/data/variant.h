#pragma once
// Field values as the data-access library hands them out: SQL NULL stays distinct from an empty
// value.

#include "platform/datetime.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace data {

struct Empty {
    bool operator==(const Empty&) const = default;
};
struct Null {
    bool operator==(const Null&) const = default;
};

using Bytes = std::vector<std::uint8_t>;
using Variant = std::variant<Empty, Null, std::int64_t, double, bool, std::string, platform::LocalTime, Bytes>;

// A field addressed by its 0-based index or by its name.
using FieldRef = std::variant<int, std::string>;

inline bool isNull(const Variant& v) {
    return std::holds_alternative<Null>(v);
}

} // namespace data
