#include "value_conversion.h"

#include "datetime.h"
#include "decimal.h"
#include "utf.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace standin {
namespace {

const char* typeName(const Column& column) {
    switch (column.type) {
    case SqlType::Int:
        return column.size == 1 ? "tinyint" : column.size == 2 ? "smallint" : column.size == 4 ? "int" : "bigint";
    case SqlType::Bit:
        return "bit";
    case SqlType::Float:
        return "float";
    case SqlType::DateTime:
        return "datetime";
    case SqlType::DateTime2:
        return "datetime2";
    case SqlType::VarBinary:
        return "varbinary";
    case SqlType::Decimal:
        return "numeric";
    case SqlType::NVarChar:
        break;
    }
    return column.codePage ? "varchar" : "nvarchar";
}

const char* textTypeName(TextKind kind) {
    return kind == TextKind::Nvarchar ? "nvarchar" : "varchar";
}

// The type SQL Server names for the source of a failed numeric conversion.
std::string sourceTypeName(const Cell& cell, TextKind kind) {
    if (std::holds_alternative<std::int64_t>(cell)) {
        return "int";
    }
    if (std::holds_alternative<double>(cell)) {
        return "numeric";
    }
    return textTypeName(kind);
}

bool matches(std::string_view text, const char* pattern) {
    if (text.size() != std::char_traits<char>::length(pattern)) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (pattern[i] == 'd' ? !digit : text[i] != pattern[i]) {
            return false;
        }
    }
    return true;
}

// A text in a date's digit form ("2026-02-30", "2026/13/01 10:00") names a date that does not
// exist; SQL Server tells that apart from text that is no date at all.
bool hasDateForm(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    const auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
    std::size_t i = 0;
    while (digit(i)) {
        ++i;
    }
    if (i != 4 || i >= text.size() || (text[i] != '-' && text[i] != '/')) {
        return false;
    }
    const char separator = text[i++];
    const std::size_t month = i;
    while (digit(i)) {
        ++i;
    }
    return i > month && i < text.size() && text[i] == separator && digit(i + 1);
}

std::string shownValue(const Cell& cell) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return std::string(prefixByUtf16Units(*text, 100));
    }
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return std::to_string(*d);
    }
    return "?";
}

[[noreturn]] void conversionFailed(const Cell& cell, const Column& column, TextKind kind) {
    const auto* text = std::get_if<std::string>(&cell);
    const bool dateType = column.type == SqlType::DateTime || column.type == SqlType::DateTime2;
    if (dateType && text != nullptr && hasDateForm(*text)) {
        throw SqlError(242, std::string("The conversion of a ") + textTypeName(kind) + " data type to a " +
                                typeName(column) + " data type resulted in an out-of-range value.");
    }
    if (dateType) {
        throw SqlError(241, "Conversion failed when converting date and/or time from character string.");
    }
    if (column.type == SqlType::Int && text == nullptr) {
        throw SqlError(8115, "Arithmetic overflow error converting expression to data type " +
                                 std::string(typeName(column)) + ".");
    }
    throw SqlError(245, std::string("Conversion failed when converting the ") + textTypeName(kind) + " value '" +
                            shownValue(cell) + "' to data type " + typeName(column) + ".");
}

std::string numberText(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::to_string(value);
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<std::int64_t> integerOf(const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return *i;
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        if (std::isfinite(*d) && std::fabs(*d) < 9.2e18) {
            return static_cast<std::int64_t>(std::trunc(*d));
        }
        return std::nullopt;
    }
    if (const auto* text = std::get_if<std::string>(&cell)) {
        std::string_view s = trimmed(*text);
        if (!s.empty() && s.front() == '+') {
            s.remove_prefix(1);
        }
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec == std::errc{} && end == s.data() + s.size() && !s.empty()) {
            return value;
        }
    }
    return std::nullopt;
}

Cell toInt(const Cell& cell, const Column& column, TextKind kind) {
    const auto value = integerOf(cell);
    if (!value) {
        conversionFailed(cell, column, kind);
    }
    const int bits = column.size * 8;
    const bool fits = column.size == 1 ? (*value >= 0 && *value <= 255)
                      : column.size == 8
                          ? true
                          : (*value >= -(std::int64_t{1} << (bits - 1)) && *value < (std::int64_t{1} << (bits - 1)));
    // An integer within INT's range is an INT to SQL Server, which names the value when it does
    // not fit a smaller type; anything wider is NUMERIC, whose overflow is reported without it.
    const bool intSized =
        *value >= std::numeric_limits<std::int32_t>::min() && *value <= std::numeric_limits<std::int32_t>::max();
    if (!fits && intSized) {
        throw SqlError(220, "Arithmetic overflow error for data type " + std::string(typeName(column)) +
                                ", value = " + std::to_string(*value) + ".");
    }
    if (!fits) {
        throw SqlError(8115, "Arithmetic overflow error converting expression to data type " +
                                 std::string(typeName(column)) + ".");
    }
    return *value;
}

Cell toBit(const Cell& cell, const Column& column, TextKind kind) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        if (iequals(trimmed(*text), "true")) {
            return std::int64_t{1};
        }
        if (iequals(trimmed(*text), "false")) {
            return std::int64_t{0};
        }
    }
    const auto value = integerOf(cell);
    if (!value) {
        conversionFailed(cell, column, kind);
    }
    return std::int64_t{*value != 0 ? 1 : 0};
}

Cell toFloat(const Cell& cell, const Column& column, TextKind kind) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return static_cast<double>(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return *d;
    }
    if (const auto* text = std::get_if<std::string>(&cell)) {
        const std::string_view s = trimmed(*text);
        double value = 0;
        const auto [stop, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
        if (ec == std::errc{} && stop == s.data() + s.size() && !s.empty()) {
            return value;
        }
    }
    throw SqlError(8114,
                   std::string("Error converting data type ") + textTypeName(kind) + " to " + typeName(column) + ".");
}

// DECIMAL(p, s): rounded half away from zero to s digits; more than p - s digits before the point
// overflow.
Cell toDecimal(const Cell& cell, const Column& column, TextKind kind) {
    std::optional<DecimalValue> value;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        value = parseDecimal(std::to_string(*i), column.scale);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        value = decimalFromDouble(*d, column.scale);
    } else if (const auto* text = std::get_if<std::string>(&cell)) {
        value = parseDecimal(*text, column.scale);
        if (!value && !trimmed(*text).empty() &&
            trimmed(*text).find_first_not_of("+-.0123456789eE") == std::string_view::npos) {
            value = DecimalValue{~DecimalValue::Magnitude{0}, column.scale, false}; // a number too large
        }
        if (!value) {
            throw SqlError(8114, std::string("Error converting data type ") + textTypeName(kind) + " to numeric.");
        }
    } else {
        conversionFailed(cell, column, kind);
    }
    if (!value || value->digits() > column.size) {
        throw SqlError(8115,
                       "Arithmetic overflow error converting " + sourceTypeName(cell, kind) + " to data type numeric.");
    }
    return value->toDouble();
}

Cell toDatetime(const Cell& cell, const Column& column, TextKind kind) {
    std::optional<DateTimeValue> value;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        value = parseDatetime(*text);
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        value = datetimeFromDays(static_cast<double>(*i));
    } else if (const auto* d = std::get_if<double>(&cell)) {
        value = datetimeFromDays(*d);
    } else if (const auto* date = std::get_if<DateTimeValue>(&cell)) {
        value = *date;
    }
    if (!value) {
        conversionFailed(cell, column, kind);
    }
    return *value;
}

// DATETIME2 takes text and dates; SQL Server refuses numbers (206, operand type clash).
Cell toDatetime2(const Cell& cell, const Column& column, TextKind kind) {
    std::optional<DateTime2Value> value;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        value = parseDatetime2(*text, column.size);
    } else if (std::holds_alternative<DateTimeValue>(cell) || std::holds_alternative<DateTime2Value>(cell)) {
        const std::string text = std::holds_alternative<DateTimeValue>(cell)
                                     ? formatDatetime(std::get<DateTimeValue>(cell))
                                     : formatDatetime2(std::get<DateTime2Value>(cell), 7);
        value = parseDatetime2(text, column.size);
    } else {
        throw SqlError(206, std::string("Operand type clash: ") + sourceTypeName(cell, kind) +
                                " is incompatible with datetime2");
    }
    if (!value) {
        conversionFailed(cell, column, kind);
    }
    return *value;
}

Cell toText(const Cell& cell) {
    std::string text;
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        text = std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        text = numberText(*d);
    } else if (const auto* blob = std::get_if<Blob>(&cell)) {
        text = blob->bytes;
    } else if (const auto* date = std::get_if<DateTimeValue>(&cell)) {
        text = formatDatetime(*date);
    } else if (const auto* date2 = std::get_if<DateTime2Value>(&cell)) {
        text = formatDatetime2(*date2, 7);
    } else {
        text = std::get<std::string>(cell);
    }
    return text;
}

Cell toBinary(const Cell& cell, const Column& column) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return Blob{*text};
    }
    if (!std::holds_alternative<Blob>(cell)) {
        throw SqlError(257, std::string("Implicit conversion to ") + typeName(column) + " is not allowed.");
    }
    return cell;
}

// Length of a text in what the column counts: characters, or bytes of its code page.
std::size_t textLength(std::string_view text, const Column& column) {
    return column.codePage ? codePageBytes(column.collation, text) : utf16Units(text);
}

// A text longer than its column loses trailing blanks without complaint; what is still too long
// is the caller's 8152.
std::string_view withoutExcessBlanks(std::string_view text, const Column& column) {
    while (column.size > 0 && !text.empty() && text.back() == ' ' &&
           textLength(text, column) > static_cast<std::size_t>(column.size)) {
        text.remove_suffix(1);
    }
    return text;
}

// NCHAR(n) and CHAR(n) values are padded with blanks to their length.
std::string padded(std::string text, const Column& column) {
    if (column.fixedLength && column.size > 0) {
        const std::size_t length = textLength(text, column);
        if (length < static_cast<std::size_t>(column.size)) {
            text.append(static_cast<std::size_t>(column.size) - length, ' ');
        }
    }
    return text;
}

Cell convert(const Cell& cell, const Column& column, TextKind kind) {
    if (std::holds_alternative<std::monostate>(cell)) {
        return cell;
    }
    switch (column.type) {
    case SqlType::Int:
        return toInt(cell, column, kind);
    case SqlType::Bit:
        return toBit(cell, column, kind);
    case SqlType::Float:
        return toFloat(cell, column, kind);
    case SqlType::Decimal:
        return toDecimal(cell, column, kind);
    case SqlType::DateTime:
        return toDatetime(cell, column, kind);
    case SqlType::DateTime2:
        return toDatetime2(cell, column, kind);
    case SqlType::VarBinary:
        return toBinary(cell, column);
    case SqlType::NVarChar:
        break;
    }
    return toText(cell);
}

} // namespace

bool isDatetimeText(std::string_view text) {
    return matches(text, "dddd-dd-dd dd:dd:dd.ddd") && parseDatetime(text).has_value();
}

bool isDatetime2Text(std::string_view text) {
    return matches(text, "dddd-dd-dd dd:dd:dd.ddddddd") && parseDatetime2(text, 7).has_value();
}

Cell convertCell(const Cell& cell, const Column& column, TextKind kind) {
    // Values read back from SQLite: DATETIME2 columns hold their canonical text.
    if (column.type == SqlType::NVarChar) {
        Cell text = convert(cell, column, kind);
        if (auto* s = std::get_if<std::string>(&text)) {
            *s = padded(std::move(*s), column);
        }
        return text;
    }
    return convert(cell, column, kind);
}

Cell storedValue(const Cell& cell, const Column& column, TextKind kind) {
    const Cell value = convert(cell, column, kind);
    if (const auto* date = std::get_if<DateTimeValue>(&value)) {
        return formatDatetime(*date);
    }
    if (const auto* date2 = std::get_if<DateTime2Value>(&value)) {
        return formatDatetime2(*date2, 7);
    }
    if (const auto* text = std::get_if<std::string>(&value); text != nullptr && column.type == SqlType::NVarChar) {
        const std::string kept =
            std::string(withoutExcessBlanks(column.codePage ? toCodePage(column.collation, *text) : *text, column));
        checkStorable(kept, column, kind);
        return padded(kept, column);
    }
    return value;
}

void checkStorable(const Cell& cell, const Column& column, TextKind kind) {
    const Cell converted = convert(cell, column, kind);
    std::size_t length = 0;
    if (const auto* text = std::get_if<std::string>(&converted); text != nullptr && column.type == SqlType::NVarChar) {
        length = textLength(withoutExcessBlanks(*text, column), column);
    } else if (const auto* blob = std::get_if<Blob>(&converted)) {
        length = blob->bytes.size();
    }
    if (column.size > 0 && length > static_cast<std::size_t>(column.size) &&
        (column.type == SqlType::NVarChar || column.type == SqlType::VarBinary)) {
        throw SqlError(8152, "String or binary data would be truncated.");
    }
}

} // namespace standin
