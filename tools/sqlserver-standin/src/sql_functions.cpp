#include "sql_functions.h"

#include "column_types.h"
#include "datetime.h"
#include "utf.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sqlite3.h>

namespace standin {
namespace {

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
Cell asNumber(const Cell& c, const Cell& other) {
    if (!std::holds_alternative<std::string>(c) && !std::holds_alternative<Blob>(c)) {
        return c;
    }
    if (std::holds_alternative<double>(other)) {
        try {
            return convertCell(c, kFloat);
        } catch (const SqlError&) {
            throw SqlError(8114, "Error converting data type varchar to float.");
        }
    }
    const Cell value = convertCell(c, Column{"", SqlType::Int, 4});
    return value;
}

double asDouble(const Cell& c) {
    if (const auto* i = std::get_if<std::int64_t>(&c)) {
        return static_cast<double>(*i);
    }
    return std::get<double>(c);
}

Cell add(const Cell& a, const Cell& b) {
    const auto* ta = std::get_if<std::string>(&a);
    const auto* tb = std::get_if<std::string>(&b);
    if (ta != nullptr && tb != nullptr) {
        return *ta + *tb;
    }
    // GetDate() + n: DATETIME values are text here, and a number added to one counts days.
    for (const auto& [text, number] : {std::pair{ta, &b}, std::pair{tb, &a}}) {
        if (text != nullptr && isNumber(*number)) {
            if (const auto date = parseDatetime(*text); date && text->size() >= 19) {
                const double days = date->days + date->ticks / 25'920'000.0 + asDouble(*number);
                if (const auto sum = datetimeFromDays(days)) {
                    return *sum;
                }
                throw SqlError(517, "Adding a value to a 'datetime' column caused an overflow.");
            }
        }
    }
    const Cell x = asNumber(a, b), y = asNumber(b, a);
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

Cell divide(const Cell& a, const Cell& b, bool modulo) {
    const Cell x = asNumber(a, b), y = asNumber(b, a);
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

// CONVERT's styles for DATETIME as text that the system's SQL is likely to use.
std::string styled(const std::string& text, std::int64_t style) {
    const auto date = parseDatetime(text);
    if (!date) {
        return text;
    }
    const std::string full = formatDatetime(*date); // yyyy-mm-dd hh:mm:ss.fff
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

Cell cast(const Cell& value, const std::string& type, std::optional<std::int64_t> style) {
    if (std::holds_alternative<std::monostate>(value)) {
        return value;
    }
    Column column = columnForDeclaredType("", type);
    if (column.type == SqlType::NVarChar) {
        std::string text = textOf(value);
        if (style && std::holds_alternative<std::string>(value)) {
            text = styled(text, *style);
        }
        // CAST to a shorter text cuts it without an error, unlike an INSERT.
        return column.size > 0 ? std::string(prefixByUtf16Units(text, static_cast<std::size_t>(column.size))) : text;
    }
    return convertCell(value, column);
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
        static_cast<FunctionErrors*>(sqlite3_user_data(context))->pending = e.message();
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
    guarded(context, [&] { setResult(context, add(cellOf(argv[0]), cellOf(argv[1]))); });
}

void divFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] { setResult(context, divide(cellOf(argv[0]), cellOf(argv[1]), false)); });
}

void modFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (anyNull(argc, argv)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] { setResult(context, divide(cellOf(argv[0]), cellOf(argv[1]), true)); });
}

void castFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
    guarded(context, [&] {
        std::optional<std::int64_t> style;
        if (argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL) {
            style = sqlite3_value_int64(argv[2]);
        }
        const std::string type = std::get<std::string>(cellOf(argv[1]));
        setResult(context, cast(cellOf(argv[0]), type, style));
    });
}

void lenFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const Cell value = cellOf(argv[0]);
    if (std::holds_alternative<std::monostate>(value)) {
        return sqlite3_result_null(context);
    }
    guarded(context, [&] { sqlite3_result_int64(context, static_cast<std::int64_t>(len(textOf(value)))); });
}

// standin_store(value, declared type): the check a BEFORE INSERT/UPDATE trigger makes per column.
void storeFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    guarded(context, [&] {
        const auto type = cellOf(argv[1]);
        if (const auto* declared = std::get_if<std::string>(&type)) {
            Column column = columnForDeclaredType("", *declared);
            const bool variable = column.type == SqlType::NVarChar || column.type == SqlType::VarBinary;
            if (variable && declared->find('(') == std::string::npos) {
                column.size = 0; // NTEXT and the like: no length to exceed
            }
            checkStorable(cellOf(argv[0]), column);
        }
        sqlite3_result_null(context);
    });
}

} // namespace

void registerSqlFunctions(sqlite3* db, FunctionErrors* errors) {
    constexpr int kFlags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function(db, "standin_add", 2, kFlags, errors, addFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_div", 2, kFlags, errors, divFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_mod", 2, kFlags, errors, modFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_cast", 2, kFlags, errors, castFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_cast", 3, kFlags, errors, castFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_len", 1, kFlags, errors, lenFunction, nullptr, nullptr);
    sqlite3_create_function(db, "standin_store", 2, kFlags, errors, storeFunction, nullptr, nullptr);
}

} // namespace standin
