#include "data/variant_convert.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace data {
namespace {

constexpr double kSecondsPerDay = 86400.0;

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::optional<double> parseNumber(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double daysSinceZero(platform::LocalTime t) {
    return double((t - zeroDateTime()).count()) / kSecondsPerDay;
}

std::optional<std::int64_t> roundToInteger(double v) {
    // Half to even, the rounding of the product's own number conversions.
    const double r = std::nearbyint(v);
    if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18)
        return std::nullopt;
    return std::int64_t(r);
}

std::optional<platform::LocalTime> parseDateText(std::string_view text) {
    text = trimBlanks(text);
    if (auto t = platform::parseDateTime(text))
        return t;
    if (auto t = platform::parseDateTime(std::string(text) + " 00:00:00"))
        return t;
    return std::nullopt;
}

} // namespace

platform::LocalTime zeroDateTime() {
    return platform::makeLocalTime(1899, 12, 30);
}

std::string variantText(const Variant& v) {
    struct Visitor {
        std::string operator()(const Empty&) const { return {}; }
        std::string operator()(const Null&) const { return {}; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.15G", d);
            return buf;
        }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const platform::LocalTime& t) const { return platform::formatDateTime(t); }
        std::string operator()(const Bytes& b) const { return std::string(b.begin(), b.end()); }
    };
    return std::visit(Visitor{}, v);
}

std::optional<double> variantToDouble(const Variant& v) {
    struct Visitor {
        std::optional<double> operator()(const Empty&) const { return 0.0; }
        std::optional<double> operator()(const Null&) const { return std::nullopt; }
        std::optional<double> operator()(std::int64_t i) const { return double(i); }
        std::optional<double> operator()(double d) const { return d; }
        std::optional<double> operator()(bool b) const { return b ? -1.0 : 0.0; }
        std::optional<double> operator()(const std::string& s) const { return parseNumber(s); }
        std::optional<double> operator()(const platform::LocalTime& t) const { return daysSinceZero(t); }
        std::optional<double> operator()(const Bytes&) const { return std::nullopt; }
    };
    return std::visit(Visitor{}, v);
}

std::optional<std::int64_t> variantToInteger(const Variant& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v))
        return *i; // exact, also beyond the precision of a double
    const auto d = variantToDouble(v);
    return d ? roundToInteger(*d) : std::nullopt;
}

std::optional<std::int64_t> variantToCurrency(const Variant& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) {
        if (*i > std::numeric_limits<std::int64_t>::max() / 10000 ||
            *i < std::numeric_limits<std::int64_t>::min() / 10000)
            return std::nullopt;
        return *i * 10000;
    }
    const auto d = variantToDouble(v);
    return d ? roundToInteger(*d * 10000.0) : std::nullopt;
}

std::optional<platform::LocalTime> variantToDate(const Variant& v) {
    if (const auto* t = std::get_if<platform::LocalTime>(&v))
        return *t;
    if (const auto* s = std::get_if<std::string>(&v))
        return parseDateText(*s);
    if (std::holds_alternative<Null>(v) || std::holds_alternative<Bytes>(v))
        return std::nullopt;
    const auto days = variantToDouble(v);
    // The date system ends at 9999/12/31 and starts at 100/1/1.
    if (!days || *days < -657434.0 || *days >= 2958466.0)
        return std::nullopt;
    return zeroDateTime() + std::chrono::seconds(std::llround(*days * kSecondsPerDay));
}

bool variantToBit(const Variant& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
        const auto t = trimBlanks(*s);
        if (t.empty() || t == "False" || t == "false" || t == "FALSE")
            return false;
        const auto n = parseNumber(t);
        return !n || *n != 0.0;
    }
    if (std::holds_alternative<Null>(v) || std::holds_alternative<Empty>(v))
        return false;
    const auto d = variantToDouble(v);
    return !d || *d != 0.0;
}

Variant convertVariant(const Variant& v, std::int32_t wantedType) {
    if (isNull(v))
        return v;
    auto integer = [&](std::int64_t low, std::int64_t high) -> Variant {
        const auto i = variantToInteger(v);
        if (!i || *i < low || *i > high)
            return Empty{};
        return *i;
    };
    auto orEmpty = [](const auto& opt) -> Variant {
        if (!opt)
            return Empty{};
        return *opt;
    };
    switch (VarType(wantedType)) {
    case VarType::Integer:
        return integer(std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
    case VarType::Long:
        return integer(std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    case VarType::Byte:
        return integer(0, 255);
    case VarType::Single:
    case VarType::Double:
        return orEmpty(variantToDouble(v));
    case VarType::Currency: {
        const auto c = variantToCurrency(v);
        return c ? Variant(double(*c) / 10000.0) : Variant(Empty{});
    }
    case VarType::Date:
        return orEmpty(variantToDate(v));
    case VarType::String:
        return variantText(v);
    case VarType::Boolean:
        return variantToBit(v);
    default:
        return v;
    }
}

} // namespace data
