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

const char* type_name(const Column& column) {
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
std::optional<int> declared_size(const std::string& lower) {
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

bool looks_like_getdate_text(const std::string& text) {
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
    return parse_datetime(text).has_value();
}

// An expression column has no declared type: SQLite's values decide.
Column column_from_values(const std::string& name, const std::vector<Row>& rows, std::size_t index) {
    bool any = false, all_int = true, all_number = true, all_date_text = true, all_blob = true;
    std::int64_t widest = 0;
    for (const Row& row : rows) {
        const Cell& cell = row[index];
        if (std::holds_alternative<std::monostate>(cell)) {
            continue;
        }
        any = true;
        const auto* i = std::get_if<std::int64_t>(&cell);
        const auto* text = std::get_if<std::string>(&cell);
        all_int = all_int && i != nullptr;
        all_number = all_number && (i != nullptr || std::holds_alternative<double>(cell));
        all_date_text = all_date_text && text != nullptr && looks_like_getdate_text(*text);
        all_blob = all_blob && std::holds_alternative<Blob>(cell);
        if (i != nullptr) {
            widest = std::max(widest, *i < 0 ? -(*i + 1) : *i);
        }
    }
    if (!any || all_int) {
        return {name, SqlType::Int, widest > std::numeric_limits<std::int32_t>::max() ? 8 : 4};
    }
    if (all_number) {
        return {name, SqlType::Float, 8};
    }
    if (all_date_text) {
        return {name, SqlType::DateTime, 8};
    }
    if (all_blob) {
        return {name, SqlType::VarBinary, kMaxVarBinary};
    }
    return {name, SqlType::NVarChar, kMaxNVarChar};
}

// A text in a date's digit form ("2026-02-30", "2026/13/01 10:00") names a date that does not
// exist; SQL Server tells that apart from text that is no date at all.
bool has_date_form(std::string_view text) {
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

[[noreturn]] void conversion_failed(const Cell& cell, const Column& column) {
    std::string shown = "?";
    const auto* text = std::get_if<std::string>(&cell);
    if (text != nullptr) {
        shown = std::string(prefix_by_utf16_units(*text, 100));
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        shown = std::to_string(*i);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        shown = std::to_string(*d);
    }
    if (column.type == SqlType::DateTime && text != nullptr && has_date_form(*text)) {
        throw SqlError(242, "The conversion of a varchar data type to a datetime data type resulted in an "
                            "out-of-range value.");
    }
    if (column.type == SqlType::DateTime) {
        throw SqlError(241, "Conversion failed when converting date and/or time from character string.");
    }
    if (column.type == SqlType::Int && text == nullptr) {
        throw SqlError(8115, "Arithmetic overflow error converting expression to data type " +
                                 std::string(type_name(column)) + ".");
    }
    throw SqlError(245, "Conversion failed when converting the varchar value '" + shown + "' to data type " +
                            type_name(column) + ".");
}

std::string number_text(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc{} ? std::string(buffer, end) : std::to_string(value);
}

std::optional<std::int64_t> integer_of(const Cell& cell) {
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

Cell to_int(const Cell& cell, const Column& column) {
    const auto value = integer_of(cell);
    if (!value) {
        conversion_failed(cell, column);
    }
    const int bits = column.size * 8;
    const bool fits = column.size == 1 ? (*value >= 0 && *value <= 255)
                      : column.size == 8
                          ? true
                          : (*value >= -(std::int64_t{1} << (bits - 1)) && *value < (std::int64_t{1} << (bits - 1)));
    // An integer within INT's range is an INT to SQL Server, which names the value when it does
    // not fit a smaller type; anything wider is NUMERIC, whose overflow is reported without it.
    const bool int_sized =
        *value >= std::numeric_limits<std::int32_t>::min() && *value <= std::numeric_limits<std::int32_t>::max();
    if (!fits && int_sized) {
        throw SqlError(220, "Arithmetic overflow error for data type " + std::string(type_name(column)) +
                                ", value = " + std::to_string(*value) + ".");
    }
    if (!fits) {
        throw SqlError(8115, "Arithmetic overflow error converting expression to data type " +
                                 std::string(type_name(column)) + ".");
    }
    return *value;
}

Cell to_bit(const Cell& cell, const Column& column) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        if (iequals(*text, "true")) {
            return std::int64_t{1};
        }
        if (iequals(*text, "false")) {
            return std::int64_t{0};
        }
    }
    const auto value = integer_of(cell);
    if (!value) {
        conversion_failed(cell, column);
    }
    return std::int64_t{*value != 0 ? 1 : 0};
}

Cell to_float(const Cell& cell, const Column& column) {
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
    throw SqlError(8114, std::string("Error converting data type nvarchar to ") + type_name(column) + ".");
}

Cell to_datetime(const Cell& cell, const Column& column) {
    std::optional<DateTimeValue> value;
    if (const auto* text = std::get_if<std::string>(&cell)) {
        value = parse_datetime(*text);
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        value = datetime_from_days(static_cast<double>(*i));
    } else if (const auto* d = std::get_if<double>(&cell)) {
        value = datetime_from_days(*d);
    }
    if (!value) {
        conversion_failed(cell, column);
    }
    return *value;
}

Cell to_text(const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&cell)) {
        return number_text(*d);
    }
    if (const auto* blob = std::get_if<Blob>(&cell)) {
        return blob->bytes;
    }
    return cell;
}

Cell to_binary(const Cell& cell, const Column& column) {
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return Blob{*text};
    }
    if (!std::holds_alternative<Blob>(cell)) {
        throw SqlError(257, std::string("Implicit conversion to ") + type_name(column) + " is not allowed.");
    }
    return cell;
}

Cell convert(const Cell& cell, const Column& column) {
    if (std::holds_alternative<std::monostate>(cell)) {
        return cell;
    }
    switch (column.type) {
    case SqlType::Int:
        return to_int(cell, column);
    case SqlType::Bit:
        return to_bit(cell, column);
    case SqlType::Float:
        return to_float(cell, column);
    case SqlType::DateTime:
        return to_datetime(cell, column);
    case SqlType::VarBinary:
        return to_binary(cell, column);
    case SqlType::NVarChar:
        break;
    }
    return to_text(cell);
}

// Widens a variable-length column to its longest value, switching to MAX past the TDS limit.
void fit_size(Column& column, const std::vector<Row>& rows, std::size_t index, bool plp_allowed) {
    const bool text = column.type == SqlType::NVarChar;
    if (!text && column.type != SqlType::VarBinary) {
        return;
    }
    const int limit = text ? kMaxNVarChar : kMaxVarBinary;
    std::size_t longest = 0;
    for (const Row& row : rows) {
        if (const auto* s = std::get_if<std::string>(&row[index])) {
            longest = std::max(longest, utf16_units(*s));
        } else if (const auto* blob = std::get_if<Blob>(&row[index])) {
            longest = std::max(longest, blob->bytes.size());
        }
    }
    if (column.size != 0 && longest <= static_cast<std::size_t>(limit)) {
        column.size = std::max(column.size, static_cast<int>(longest));
        return;
    }
    if (!plp_allowed) {
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

Cell convert_cell(const Cell& cell, const Column& column) {
    return convert(cell, column);
}

void check_storable(const Cell& cell, const Column& column) {
    const Cell converted = convert(cell, column);
    std::size_t length = 0;
    if (const auto* text = std::get_if<std::string>(&converted); text != nullptr && column.type == SqlType::NVarChar) {
        length = utf16_units(*text);
    } else if (const auto* blob = std::get_if<Blob>(&converted)) {
        length = blob->bytes.size();
    }
    if (column.size > 0 && length > static_cast<std::size_t>(column.size) &&
        (column.type == SqlType::NVarChar || column.type == SqlType::VarBinary)) {
        throw SqlError(8152, "String or binary data would be truncated.");
    }
}

Column column_for_declared_type(const std::string& name, const std::string& declared) {
    const std::string lower = ascii_lower(declared);
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
    const auto size = declared_size(lower);
    if (has("binary") || has("blob") || has("image")) {
        return {name, SqlType::VarBinary, std::min(size.value_or(kMaxVarBinary), kMaxVarBinary)};
    }
    // Text of any other declaration. Without a size the column is declared generously, since FreeTDS
    // cuts values longer than the declared length.
    return {name, SqlType::NVarChar, size ? (*size == 0 ? 0 : std::min(*size, kMaxNVarChar)) : kMaxNVarChar};
}

ResultSet type_result(const std::vector<SourceColumn>& columns, std::vector<Row> rows, bool plp_allowed) {
    ResultSet result;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const SourceColumn& source = columns[i];
        Column column = source.declared_type ? column_for_declared_type(source.name, *source.declared_type)
                                             : column_from_values(source.name, rows, i);
        for (Row& row : rows) {
            row[i] = convert(row[i], column);
        }
        fit_size(column, rows, i, plp_allowed);
        result.columns.push_back(std::move(column));
    }
    result.rows = std::move(rows);
    return result;
}

} // namespace standin
