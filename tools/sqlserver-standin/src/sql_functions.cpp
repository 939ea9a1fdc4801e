#include "sql_functions.h"

#include "column_types.h"
#include "datetime.h"
#include "utf.h"
#include "value_conversion.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace standin {
namespace {

FunctionState& state(sqlite3_context* context) {
    return *static_cast<FunctionState*>(sqlite3_user_data(context));
}

Cell cellOf(sqlite3_value* value) {
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        return sqlite3_value_double(value);
    case SQLITE_TEXT:
        return std::string(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                           static_cast<std::size_t>(sqlite3_value_bytes(value)));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
        return Blob{std::string(data == nullptr ? "" : data, static_cast<std::size_t>(sqlite3_value_bytes(value)))};
    }
    default:
        return std::monostate{};
    }
}

void setResult(sqlite3_context* context, const Cell& cell) {
    if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        sqlite3_result_int64(context, *i);
    } else if (const auto* d = std::get_if<double>(&cell)) {
        sqlite3_result_double(context, *d);
    } else if (const auto* text = std::get_if<std::string>(&cell)) {
        sqlite3_result_text(context, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
    } else if (const auto* blob = std::get_if<Blob>(&cell)) {
        sqlite3_result_blob(context, blob->bytes.data(), static_cast<int>(blob->bytes.size()), SQLITE_TRANSIENT);
    } else if (const auto* date = std::get_if<DateTimeValue>(&cell)) {
        const std::string text = formatDatetime(*date);
        sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else if (const auto* date2 = std::get_if<DateTime2Value>(&cell)) {
        const std::string text = formatDatetime2(*date2, 7);
        sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    } else {
        sqlite3_result_null(context);
    }
}

const Column kFloat{"", SqlType::Float, 8};

bool isNumber(const Cell& c) {
    return std::holds_alternative<std::int64_t>(c) || std::holds_alternative<double>(c);
}

[[noreturn]] void overflow() {
    throw SqlError(8115, "Arithmetic overflow error converting expression to data type int.");
}

// A text operand next to a number takes the number's type, as SQL Server's precedence rules say;
// text that is no number fails as in SQL Server (245 for INT, 8114 for FLOAT).
Cell asNumber(const Cell& c, const Cell& other, TextKind kind) {
    if (!std::holds_alternative<std::string>(c) && !std::holds_alternative<Blob>(c)) {
        return c;
    }
    if (std::holds_alternative<double>(other)) {
        return convertCell(c, kFloat, kind);
    }
    return convertCell(c, Column{"", SqlType::Int, 4}, kind);
}

double asDouble(const Cell& c) {
    if (const auto* i = std::get_if<std::int64_t>(&c)) {
        return static_cast<double>(*i);
    }
    return std::get<double>(c);
}

Cell add(const Cell& a, const Cell& b, TextKind ka, TextKind kb) {
    const auto* ta = std::get_if<std::string>(&a);
    const auto* tb = std::get_if<std::string>(&b);
    if (ta != nullptr && tb != nullptr) {
        return *ta + *tb;
    }
    // GetDate() + n: DATETIME values are text here, and a number added to one counts days.
    for (const auto& [text, number] : {std::pair{ta, &b}, std::pair{tb, &a}}) {
        if (text != nullptr && isNumber(*number)) {
            if (const auto date = parseDatetime(*text); date && isDatetimeText(*text)) {
                const double days = date->days + date->ticks / 25'920'000.0 + asDouble(*number);
                if (const auto sum = datetimeFromDays(days)) {
                    return *sum;
                }
                throw SqlError(517, "Adding a value to a 'datetime' column caused an overflow.");
            }
        }
    }
    const Cell x = asNumber(a, b, ka), y = asNumber(b, a, kb);
    const auto* ix = std::get_if<std::int64_t>(&x);
    const auto* iy = std::get_if<std::int64_t>(&y);
    if (ix != nullptr && iy != nullptr) {
        std::int64_t sum = 0;
        if (__builtin_add_overflow(*ix, *iy, &sum)) {
            overflow();
        }
        return sum;
    }
    return asDouble(x) + asDouble(y);
}

Cell divide(const Cell& a, const Cell& b, TextKind ka, TextKind kb, bool modulo) {
    const Cell x = asNumber(a, b, ka), y = asNumber(b, a, kb);
    const auto* ix = std::get_if<std::int64_t>(&x);
    const auto* iy = std::get_if<std::int64_t>(&y);
    if ((iy != nullptr && *iy == 0) || (iy == nullptr && asDouble(y) == 0.0)) {
        throw SqlError(8134, "Divide by zero error encountered.");
    }
    if (ix != nullptr && iy != nullptr) {
        if (*ix == std::numeric_limits<std::int64_t>::min() && *iy == -1) {
            overflow();
        }
        return modulo ? *ix % *iy : *ix / *iy;
    }
    return modulo ? std::fmod(asDouble(x), asDouble(y)) : asDouble(x) / asDouble(y);
}

std::string textOf(const Cell& c) {
    return std::get<std::string>(convertCell(c, Column{"", SqlType::NVarChar, 0}));
}

// SQL Server's subtype marks on text values: N'...' literals and what is made of them are
// nvarchar, which conversion errors name.
constexpr unsigned kNvarcharSubtype = 'N';

TextKind kindOf(sqlite3_value* value) {
    return sqlite3_value_subtype(value) == kNvarcharSubtype ? TextKind::Nvarchar : TextKind::Varchar;
}

// CONVERT's styles for a DATETIME value as text, those the system's SQL is likely to use. A style
// applies to date and time values only: character data converts to text as it is.
std::string styled(const std::string& text, std::int64_t style) {
    const bool date2 = isDatetime2Text(text);
    if (!isDatetimeText(text) && !date2) {
        return text;
    }
    const std::string full = date2 ? text : formatDatetime(*parseDatetime(text)); // yyyy-mm-dd hh:mm:ss.fff
    switch (style) {
    case 23:
        return full.substr(0, 10);
    case 108:
        return full.substr(11, 8);
    case 111:
        return full.substr(0, 4) + "/" + full.substr(5, 2) + "/" + full.substr(8, 2);
    case 112:
        return full.substr(0, 4) + full.substr(5, 2) + full.substr(8, 2);
    case 120:
        return full.substr(0, 19);
    case 121:
        return full;
    default:
        throw SqlError(281, std::to_string(style) + " is not a valid style number when converting from datetime to a "
                                                    "character string.");
    }
}

Cell cast(const Cell& value, const std::string& type, std::optional<std::int64_t> style, TextKind kind,
          const Collation& collation) {
    if (std::holds_alternative<std::monostate>(value)) {
        return value;
    }
    const Column column = columnForDeclaredType("", type, TypeUse::Conversion, collation);
    if (column.type == SqlType::NVarChar) {
        std::string text = textOf(value);
        if (style && std::holds_alternative<std::string>(value)) {
            text = styled(text, *style);
        }
        if (column.codePage) {
            text = toCodePage(collation, text);
        }
        // CAST to a shorter text cuts it without an error, unlike an INSERT.
        if (column.size > 0) {
            text = std::string(prefixByUtf16Units(text, static_cast<std::size_t>(column.size)));
        }
        return std::get<std::string>(convertCell(text, column));
    }
    const Cell converted = convertCell(value, column, kind);
    // DATETIME and DATETIME2 travel through SQLite as their canonical text.
    if (const auto* date = std::get_if<DateTime2Value>(&converted)) {
        return formatDatetime2(*date, 7);
    }
    return converted;
}

std::size_t len(const std::string& text) {
    std::string_view s = text;
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return utf16Units(s);
}

template <typename Body> void guarded(sqlite3_context* context, Body body) {
    try {
        body();
    } catch (const SqlError& e) {
        state(context).pending = e.message();
        sqlite3_result_error(context, e.what(), -1);
    }
}

bool anyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) {
            return true;
        }
    }
    return false;
}

void addFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] {
        const TextKind ka = kindOf(argv[0]), kb = kindOf(argv[1]);
        const Cell sum = add(cellOf(argv[0]), cellOf(argv[1]), ka, kb);
        setResult(context, sum);
        // Joined text is nvarchar when either part is, by SQL Server's type precedence.
        if (std::holds_alternative<std::string>(sum) && (ka == TextKind::Nvarchar || kb == TextKind::Nvarchar)) {
            sqlite3_result_subtype(context, kNvarcharSubtype);
        }
    });
}

void divFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] {
        setResult(context, divide(cellOf(argv[0]), cellOf(argv[1]), kindOf(argv[0]), kindOf(argv[1]), false));
    });
}

void modFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] {
        setResult(context, divide(cellOf(argv[0]), cellOf(argv[1]), kindOf(argv[0]), kindOf(argv[1]), true));
    });
}

void castFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    guarded(context, [&] {
        std::optional<std::int64_t> style;
        if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
            style = sqlite3_value_int64(argv[2]);
        }
        const std::string type = std::get<std::string>(cellOf(argv[1]));
        const Cell result = cast(cellOf(argv[0]), type, style, kindOf(argv[0]), state(context).collation);
        setResult(context, result);
        if (std::holds_alternative<std::string>(result) && asciiLower(type).starts_with("n")) {
            sqlite3_result_subtype(context, kNvarcharSubtype);
        }
    });
}

void lenFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const Cell value = cellOf(argv[0]);
    if (std::holds_alternative<std::monostate>(value)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] { sqlite3_result_int64(context, static_cast<std::int64_t>(len(textOf(value)))); });
}

// The column a value is written to, from its declared type and collation name.
Column targetColumn(sqlite3_value* declared, sqlite3_value* collationName, const Collation& fallback) {
    const Cell type = cellOf(declared);
    const Cell name = cellOf(collationName);
    const auto* text = std::get_if<std::string>(&name);
    const Collation collation = text != nullptr ? findCollation(*text).value_or(fallback) : fallback;
    const auto* typeText = std::get_if<std::string>(&type);
    return columnForDeclaredType("", typeText != nullptr ? *typeText : "", TypeUse::Definition, collation);
}

// standin_store(value, declared type, collation): the check a BEFORE INSERT/UPDATE trigger makes
// per column.
void storeFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    guarded(context, [&] {
        checkStorable(cellOf(argv[0]), targetColumn(argv[1], argv[2], state(context).collation), kindOf(argv[0]));
        sqlite3_result_null(context);
    });
}

// standin_coerce(value, declared type, collation): the value as the column keeps it, wrapped
// around what INSERT ... VALUES and UPDATE ... SET write.
void coerceFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    guarded(context, [&] {
        setResult(context, storedValue(cellOf(argv[0]), targetColumn(argv[1], argv[2], state(context).collation),
                                       kindOf(argv[0])));
    });
}

// standin_n(text): an N'...' literal, marked as nvarchar.
void nvarcharFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    sqlite3_result_value(context, argv[0]);
    sqlite3_result_subtype(context, kNvarcharSubtype);
}

} // namespace

void registerSqlFunctions(sqlite3* db, FunctionState* state) {
    constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    constexpr int kReadsKind = kFlags | SQLITE_SUBTYPE;
    sqlite3_create_function(db, "standin_add", 2, kReadsKind, state, addFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_div", 2, kReadsKind, state, divFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_mod", 2, kReadsKind, state, modFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_cast", 2, kReadsKind, state, castFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_cast", 3, kReadsKind, state, castFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_len", 1, kFlags, state, lenFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_store", 3, kReadsKind, state, storeFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_coerce", 3, kReadsKind, state, coerceFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_n", 1, kFlags, state, nvarcharFunction, nullptr, nullptr);
}

} // namespace standin
