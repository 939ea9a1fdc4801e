#include "column_types.h"

#include "datetime.h"
#include "utf.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace standin {
namespace {

constexpr int kMaxNVarChar = 4000;  // characters; longer values need NVARCHAR(MAX)
constexpr int kMaxVarBinary = 8000; // bytes

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
    case SqlType::VarBinary:
        return "varbinary";
    case SqlType::NVarChar:
        break;
    }
    return "nvarchar";
}

// The size written in parentheses after a type name; 0 for "(max)", nullopt when absent.
std::optional<int> declaredSize(const std::string& lower) {
    const std::size_t open = lower.find('(');
    if (open == std::string::npos) {
        return std::nullopt;
    }
    if (lower.compare(open + 1, 3, "max") == 0) {
        return 0;
    }
    int size = 0;
    const char* begin = lower.data() + open + 1;
    const auto [end, ec] = std::from_chars(begin, lower.data() + lower.size(), size);
    if (ec != std::errc{} || size <= 0) {
        return std::nullopt;
    }
    return size;
}

bool looksLikeGetdateText(const std::string& text) {
    // "yyyy-mm-dd hh:mm:ss" or with ".fff": the form DATETIME values and GetDate() take here.
    static constexpr const char* kPattern = "dddd-dd-dd dd:dd:dd.ddd";
    if (text.size() != 19 && text.size() != 23) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i]) {
            return false;
        }
    }
    return parseDatetime(text).has_value();
}

// An expression column has no declared type: SQLite's values decide.
Column columnFromValues(const std::string& name, const std::vector<Row>& rows, std::size_t index) {
    bool any = false, allInt = true, allNumber = true, allDateText = true, allBlob = true;
    std::int64_t widest = 0;
    for (const Row& row : rows) {
        const Cell& cell = row[index];
        if (std::holds_alternative<std::monostate>(cell)) {
            continue;
        }
        any = true;
        const auto* i = std::get_if<std::int64_t>(&cell);
        const auto* text = std::get_if<std::string>(&cell);
        allInt = allInt && i != nullptr;
        allNumber = allNumber && (i != nullptr || std::holds_alternative<double>(cell));
        allDateText = allDateText && text != nullptr && looksLikeGetdateText(*text);
        allBlob = allBlob && std::holds_alternative<Blob>(cell);
        if (i != nullptr) {
            widest = std::max(widest, *i < 0 ? -(*i + 1) : *i);
        }
    }
    if (!any || allInt) {
        return {name, SqlType::Int, widest > std::numeric_limits<std::int32_t>::max() ? 8 : 4};
    }
    if (allNumber) {
        return {name, SqlType::Float, 8};
    }
    if (allDateText) {
        return {name, SqlType::DateTime, 8};
    }
    if (allBlob) {
        return {name, SqlType::VarBinary, kMaxVarBinary};
    }
    return {name, SqlType::NVarChar, kMaxNVarChar};
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

[[noreturn]] void conversionFailed(const Cell& cell, const Column& column) {
    std::string shown = "?";
    const auto* text = std::get_if<std::string>(&cell);
    if (text != nullptr) {
        shown = std::string(prefixByUtf16Units(*text, 100));
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        shown = std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        shown = std::to_string(*d);
    }
    if (column.type == SqlType::DateTime && text != nullptr && hasDateForm(*text)) {
        throw SqlError(242, "The conversion of a varchar data type to a datetime data type resulted in an "
                            "out-of-range value.");
    }
    if (column.type == SqlType::DateTime) {
        throw SqlError(241, "Conversion failed when converting date and/or time from character string.");
    }
    if (column.type == SqlType::Int && text == nullptr) {
        throw SqlError(8115, "Arithmetic overflow error converting expression to data type " +
                                 std::string(typeName(column)) + ".");
    }
    throw SqlError(245, "Conversion failed when converting the varchar value '" + shown + "' to data type " +
                            typeName(column) + ".");
}

std::string numberText(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::to_string(value);
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
        std::string_view s = *text;
        while (!s.empty() && s.front() == ' ') {
            s.remove_prefix(1);
        }
        while (!s.empty() && s.back() == ' ') {
            s.remove_suffix(1);
        }
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

Cell toInt(const Cell& cell, const Column& column) {
    const auto value = integerOf(cell);
    if (!value) {
        conversionFailed(cell, column);
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

Cell toBit(const Cell& cell, const Column& column) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        if (iequals(*text, "true")) {
            return std::int64_t{1};
        }
        if (iequals(*text, "false")) {
            return std::int64_t{0};
        }
    }
    const auto value = integerOf(cell);
    if (!value) {
        conversionFailed(cell, column);
    }
    return std::int64_t{*value != 0 ? 1 : 0};
}

Cell toFloat(const Cell& cell, const Column& column) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return static_cast<double>(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return *d;
    }
    if (const auto* text = std::get_if<std::string>(&cell)) {
        double value = 0;
        const char* end = text->data() + text->size();
        const auto [stop, ec] = std::from_chars(text->data(), end, value);
        if (ec == std::errc{} && stop == end) {
            return value;
        }
    }
    throw SqlError(8114, std::string("Error converting data type nvarchar to ") + typeName(column) + ".");
}

Cell toDatetime(const Cell& cell, const Column& column) {
    std::optional<DateTimeValue> value;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        value = parseDatetime(*text);
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        value = datetimeFromDays(static_cast<double>(*i));
    } else if (const auto* d = std::get_if<double>(&cell)) {
        value = datetimeFromDays(*d);
    }
    if (!value) {
        conversionFailed(cell, column);
    }
    return *value;
}

Cell toText(const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return numberText(*d);
    }
    if (const auto* blob = std::get_if<Blob>(&cell)) {
        return blob->bytes;
    }
    return cell;
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

Cell convert(const Cell& cell, const Column& column) {
    if (std::holds_alternative<std::monostate>(cell)) {
        return cell;
    }
    switch (column.type) {
    case SqlType::Int:
        return toInt(cell, column);
    case SqlType::Bit:
        return toBit(cell, column);
    case SqlType::Float:
        return toFloat(cell, column);
    case SqlType::DateTime:
        return toDatetime(cell, column);
    case SqlType::VarBinary:
        return toBinary(cell, column);
    case SqlType::NVarChar:
        break;
    }
    return toText(cell);
}

// Widens a variable-length column to its longest value, switching to MAX past the TDS limit.
void fitSize(Column& column, const std::vector<Row>& rows, std::size_t index, bool plpAllowed) {
    const bool text = column.type == SqlType::NVarChar;
    if (!text && column.type != SqlType::VarBinary) {
        return;
    }
    const int limit = text ? kMaxNVarChar : kMaxVarBinary;
    std::size_t longest = 0;
    for (const Row& row : rows) {
        if (const auto* s = std::get_if<std::string>(&row[index])) {
            longest = std::max(longest, utf16Units(*s));
        } else if (const auto* blob = std::get_if<Blob>(&row[index])) {
            longest = std::max(longest, blob->bytes.size());
        }
    }
    if (column.size != 0 && longest <= static_cast<std::size_t>(limit)) {
        column.size = std::max(column.size, static_cast<int>(longest));
        return;
    }
    if (!plpAllowed) {
        if (longest > static_cast<std::size_t>(limit)) {
            throw SqlError(7347, "Column '" + column.name + "' holds a value longer than " + std::to_string(limit) +
                                     ", which TDS before 7.2 cannot carry.");
        }
        column.size = limit;
        return;
    }
    column.size = 0;
}

} // namespace

Cell convertCell(const Cell& cell, const Column& column) {
    return convert(cell, column);
}

void checkStorable(const Cell& cell, const Column& column) {
    const Cell converted = convert(cell, column);
    std::size_t length = 0;
    if (const auto* text = std::get_if<std::string>(&converted); text != nullptr && column.type == SqlType::NVarChar) {
        length = utf16Units(*text);
    } else if (const auto* blob = std::get_if<Blob>(&converted)) {
        length = blob->bytes.size();
    }
    if (column.size > 0 && length > static_cast<std::size_t>(column.size) &&
        (column.type == SqlType::NVarChar || column.type == SqlType::VarBinary)) {
        throw SqlError(8152, "String or binary data would be truncated.");
    }
}

Column columnForDeclaredType(const std::string& name, const std::string& declared) {
    const std::string lower = asciiLower(declared);
    const auto has = [&](const char* part) { return lower.find(part) != std::string::npos; };
    if (has("date")) {
        return {name, SqlType::DateTime, 8};
    }
    if (has("bigint")) {
        return {name, SqlType::Int, 8};
    }
    if (has("smallint")) {
        return {name, SqlType::Int, 2};
    }
    if (has("tinyint")) {
        return {name, SqlType::Int, 1};
    }
    if (has("int")) {
        return {name, SqlType::Int, 4};
    }
    if (has("bit")) {
        return {name, SqlType::Bit, 1};
    }
    if (has("float") || has("real") || has("double")) {
        return {name, SqlType::Float, 8};
    }
    const auto size = declaredSize(lower);
    if (has("binary") || has("blob") || has("image")) {
        return {name, SqlType::VarBinary, std::min(size.value_or(kMaxVarBinary), kMaxVarBinary)};
    }
    // Text of any other declaration. Without a size the column is declared generously, since FreeTDS
    // cuts values longer than the declared length.
    return {name, SqlType::NVarChar, size ? (*size == 0 ? 0 : std::min(*size, kMaxNVarChar)) : kMaxNVarChar};
}

ResultSet typeResult(const std::vector<SourceColumn>& columns, std::vector<Row> rows, bool plpAllowed) {
    ResultSet result;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const SourceColumn& source = columns[i];
        Column column = source.declaredType ? columnForDeclaredType(source.name, *source.declaredType)
                                            : columnFromValues(source.name, rows, i);
        for (Row& row : rows) {
            row[i] = convert(row[i], column);
        }
        fitSize(column, rows, i, plpAllowed);
        result.columns.push_back(std::move(column));
    }
    result.rows = std::move(rows);
    return result;
}

} // namespace standin
