#include "column_types.h"

#include "utf.h"
#include "value_conversion.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace standin {
namespace {

constexpr int kMaxNVarChar = 4000;  // characters; longer values need NVARCHAR(MAX)
constexpr int kMaxVarBinary = 8000; // bytes

// A declared type split into its name ("nvarchar") and the numbers in its parentheses; "max"
// reads as 0.
struct TypeName {
    std::string base;
    std::vector<int> arguments;
    bool hasArguments = false;
};

TypeName parseTypeName(const std::string& declared) {
    TypeName type;
    const std::string lower = asciiLower(declared);
    const std::size_t open = lower.find('(');
    type.base = lower.substr(0, open);
    while (!type.base.empty() && (type.base.back() == ' ' || type.base.back() == '\t')) {
        type.base.pop_back();
    }
    if (open == std::string::npos) {
        return type;
    }
    type.hasArguments = true;
    std::size_t at = open + 1;
    while (at < lower.size() && lower[at] != ')') {
        while (at < lower.size() && (lower[at] == ' ' || lower[at] == ',')) {
            ++at;
        }
        if (lower.compare(at, 3, "max") == 0) {
            type.arguments.push_back(0);
            at += 3;
            continue;
        }
        int value = 0;
        const auto [end, ec] = std::from_chars(lower.data() + at, lower.data() + lower.size(), value);
        if (ec != std::errc{}) {
            break;
        }
        type.arguments.push_back(value);
        at = static_cast<std::size_t>(end - lower.data());
    }
    return type;
}

bool isOneOf(const std::string& base, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return base == name; });
}

Column textColumn(const std::string& name, const TypeName& type, TypeUse use, const Collation& collation) {
    Column column{name, SqlType::NVarChar, 0};
    column.collation = collation;
    column.codePage = isOneOf(type.base, {"varchar", "char", "text", "character", "character varying"});
    column.fixedLength = isOneOf(type.base, {"nchar", "char", "character", "national character"});
    if (isOneOf(type.base, {"ntext", "text"})) {
        return column; // no length to exceed
    }
    if (type.base == "sysname") {
        column.size = 128;
    } else if (!type.arguments.empty()) {
        column.size = type.arguments[0] == 0 ? 0 : std::min(type.arguments[0], kMaxNVarChar * 2);
    } else {
        column.size = use == TypeUse::Definition ? 1 : use == TypeUse::Conversion ? 30 : kMaxNVarChar;
    }
    return column;
}

// An expression column of no known type: SQLite's values decide.
Column columnFromValues(const std::string& name, const std::vector<Row>& rows, std::size_t index) {
    bool any = false, allInt = true, allNumber = true, allDateText = true, allDate2Text = true, allBlob = true;
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
        allDateText = allDateText && text != nullptr && isDatetimeText(*text);
        allDate2Text = allDate2Text && text != nullptr && isDatetime2Text(*text);
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
    if (allDate2Text) {
        return {name, SqlType::DateTime2, 7};
    }
    if (allBlob) {
        return {name, SqlType::VarBinary, kMaxVarBinary};
    }
    return {name, SqlType::NVarChar, kMaxNVarChar};
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
        column.size = std::min(std::max(column.size, static_cast<int>(longest)), limit);
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

Column columnForDeclaredType(const std::string& name, const std::string& declared, TypeUse use,
                             const Collation& collation) {
    const TypeName type = parseTypeName(declared);
    const std::string& base = type.base;
    const auto argument = [&](std::size_t i, int fallback) {
        return i < type.arguments.size() ? type.arguments[i] : fallback;
    };
    if (base == "datetime2") {
        return {name, SqlType::DateTime2, std::clamp(argument(0, 7), 0, 7)};
    }
    if (isOneOf(base, {"datetime", "smalldatetime", "date"})) {
        return {name, SqlType::DateTime, 8};
    }
    if (base == "bigint") {
        return {name, SqlType::Int, 8};
    }
    if (base == "smallint") {
        return {name, SqlType::Int, 2};
    }
    if (base == "tinyint") {
        return {name, SqlType::Int, 1};
    }
    if (isOneOf(base, {"int", "integer"})) {
        return {name, SqlType::Int, 4};
    }
    if (base == "bit") {
        return {name, SqlType::Bit, 1};
    }
    if (isOneOf(base, {"float", "real", "double", "double precision"})) {
        return {name, SqlType::Float, 8};
    }
    if (isOneOf(base, {"decimal", "numeric", "dec", "money", "smallmoney"})) {
        const bool money = base == "money" || base == "smallmoney";
        Column column{name, SqlType::Decimal, std::clamp(argument(0, money ? (base == "money" ? 19 : 10) : 18), 1, 38)};
        column.scale = std::clamp(argument(1, money ? 4 : 0), 0, column.size);
        return column;
    }
    if (isOneOf(base, {"binary", "varbinary", "image", "blob"})) {
        const int size = argument(0, kMaxVarBinary);
        return {name, SqlType::VarBinary, size == 0 ? 0 : std::min(size, kMaxVarBinary)};
    }
    if (isOneOf(base, {"nvarchar", "varchar", "nchar", "char", "ntext", "text", "sysname", "character",
                       "character varying", "national character", "national character varying"})) {
        return textColumn(name, type, use, collation);
    }
    // Any other declaration (SQLite's own, an unknown word) holds text without a limit here.
    Column column{name, SqlType::NVarChar, use == TypeUse::Result ? kMaxNVarChar : 0};
    column.collation = collation;
    return column;
}

ResultSet typeResult(const std::vector<SourceColumn>& columns, std::vector<Row> rows, bool plpAllowed,
                     const Collation& database) {
    ResultSet result;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const SourceColumn& source = columns[i];
        const Collation collation = source.collation.value_or(database);
        Column column = source.declaredType
                            ? columnForDeclaredType(source.name, *source.declaredType, TypeUse::Result, collation)
                            : columnFromValues(source.name, rows, i);
        column.collation = collation;
        for (Row& row : rows) {
            row[i] = convertCell(row[i], column);
        }
        fitSize(column, rows, i, plpAllowed);
        result.columns.push_back(std::move(column));
    }
    result.rows = std::move(rows);
    return result;
}

} // namespace standin
