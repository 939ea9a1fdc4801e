#include "tsql_select.h"

#include "decimal.h"
#include "utf.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace standin {
namespace {

bool isSymbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}
bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

bool endsSelectList(const Token& t) {
    static constexpr std::array kWords{"FROM",   "INTO",   "WHERE", "GROUP",  "ORDER",    "UNION",
                                       "HAVING", "OPTION", "FOR",   "EXCEPT", "INTERSECT"};
    return std::any_of(kWords.begin(), kWords.end(), [&](const char* w) { return isWord(t, w); });
}

bool isReserved(const Token& t) {
    static constexpr std::array kWords{"AS",   "AND",  "OR",  "NOT",  "IS", "NULL",    "CASE",   "WHEN",
                                       "THEN", "ELSE", "END", "LIKE", "IN", "BETWEEN", "COLLATE"};
    return std::any_of(kWords.begin(), kWords.end(), [&](const char* w) { return isWord(t, w); });
}

// The static type of an expression, as far as SQL Server's rules fix it.
struct Type {
    enum class Kind { Unknown, Bit, Int, BigInt, SmallInt, Decimal, Float, DateTime, DateTime2, Named };
    Kind kind = Kind::Unknown;
    int precision = 0, scale = 0; // Decimal; DateTime2's scale
    bool constant = false;        // an integer literal: DECIMAL of its own digits in decimal arithmetic
    std::string name;             // Named: the type written in CAST or CONVERT

    static Type of(Kind kind) { return Type{kind, 0, 0, false, {}}; }
    static Type decimal(int p, int s) {
        if (p > 38) { // the integral part is kept, the scale gives way, to no less than min(s, 6)
            s = std::max(std::min(s, 6), s - (p - 38));
            p = 38;
        }
        return Type{Kind::Decimal, p, s, false, {}};
    }
    bool numeric() const {
        return kind == Kind::Bit || kind == Kind::Int || kind == Kind::BigInt || kind == Kind::SmallInt ||
               kind == Kind::Decimal || kind == Kind::Float;
    }
    // An integer operand of decimal arithmetic as the DECIMAL it is converted to.
    Type asDecimal(int literalDigits) const {
        switch (kind) {
        case Kind::Decimal:
            return *this;
        case Kind::BigInt:
            return decimal(19, 0);
        case Kind::SmallInt:
            return decimal(5, 0);
        case Kind::Bit:
            return decimal(1, 0);
        default:
            return decimal(constant ? literalDigits : 10, 0);
        }
    }
    std::optional<std::string> text() const {
        switch (kind) {
        case Kind::Bit:
            return "BIT";
        case Kind::Int:
            return "INT";
        case Kind::BigInt:
            return "BIGINT";
        case Kind::SmallInt:
            return "SMALLINT";
        case Kind::Decimal:
            return "DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
        case Kind::Float:
            return "FLOAT";
        case Kind::DateTime:
            return "DATETIME";
        case Kind::DateTime2:
            return "DATETIME2(" + std::to_string(scale) + ")";
        case Kind::Named:
            return name;
        case Kind::Unknown:
            break;
        }
        return std::nullopt;
    }
};
using Kind = Type::Kind;

class TypeReader {
public:
    explicit TypeReader(std::vector<Token> tokens) : t_(std::move(tokens)) {}

    Type whole() {
        Type type = additive();
        return p_ == t_.size() ? type : Type{};
    }

private:
    bool at(char c) const { return p_ < t_.size() && isSymbol(t_[p_], c); }

    Type additive() {
        Type left = multiplicative();
        while (at('+') || at('-')) {
            const char op = t_[p_++].text[0];
            left = combine(left, op, multiplicative());
        }
        return left;
    }

    Type multiplicative() {
        Type left = unary();
        while (at('*') || at('/') || at('%')) {
            const char op = t_[p_++].text[0];
            left = combine(left, op, unary());
        }
        return left;
    }

    Type unary() {
        if (at('-') || at('+')) {
            ++p_;
            return unary();
        }
        return primary();
    }

    static Type combine(const Type& a, char op, const Type& b) {
        if (!a.numeric() || !b.numeric()) {
            // DATETIME + number stays DATETIME; text and unknown types are left to the values.
            return (a.kind == Kind::DateTime && b.numeric() && (op == '+' || op == '-')) ? a : Type{};
        }
        if (a.kind == Kind::Float || b.kind == Kind::Float) {
            return Type::of(Kind::Float);
        }
        if (a.kind == Kind::Decimal || b.kind == Kind::Decimal) {
            const Type x = a.asDecimal(a.precision), y = b.asDecimal(b.precision);
            const int p1 = x.precision, s1 = x.scale, p2 = y.precision, s2 = y.scale;
            switch (op) {
            case '*':
                return Type::decimal(p1 + p2 + 1, s1 + s2);
            case '/': {
                const int s = std::max(6, s1 + p2 + 1);
                return Type::decimal(p1 - s1 + s2 + s, s);
            }
            case '%':
                return Type::decimal(std::min(p1 - s1, p2 - s2) + std::max(s1, s2), std::max(s1, s2));
            default:
                return Type::decimal(std::max(s1, s2) + std::max(p1 - s1, p2 - s2) + 1, std::max(s1, s2));
            }
        }
        return Type::of(a.kind == Kind::BigInt || b.kind == Kind::BigInt ? Kind::BigInt : Kind::Int);
    }

    Type number(const std::string& text) {
        if (text.find_first_of("eE") != std::string::npos) {
            return Type::of(Kind::Float);
        }
        const DecimalType literal = literalDecimalType(text);
        if (text.find('.') != std::string::npos) {
            return Type::decimal(literal.precision, literal.scale);
        }
        std::int64_t value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec == std::errc{} && value <= 2147483647) {
            return Type{Kind::Int, literal.precision, 0, true, {}};
        }
        return Type::decimal(literal.precision, 0); // integer literals beyond INT are NUMERIC
    }

    // The type text between two positions, as written ("NVARCHAR(10)").
    std::string typeText(std::size_t begin, std::size_t end) const {
        std::string text;
        for (std::size_t k = begin; k < end; ++k) {
            text += t_[k].kind == TokenKind::Quoted ? nameValue(t_[k]) : t_[k].text;
        }
        const std::string base = asciiLower(text.substr(0, text.find('(')));
        const bool text30 = base == "nvarchar" || base == "varchar" || base == "nchar" || base == "char";
        return text30 && text.find('(') == std::string::npos ? text + "(30)" : text; // CAST's default length
    }

    std::size_t closing(std::size_t open) const {
        int depth = 0;
        for (std::size_t k = open; k < t_.size(); ++k) {
            depth += isSymbol(t_[k], '(') ? 1 : isSymbol(t_[k], ')') ? -1 : 0;
            if (depth == 0) {
                return k;
            }
        }
        return t_.size();
    }

    Type conversion(const std::string& function, std::size_t open, std::size_t close) {
        int depth = 0;
        for (std::size_t k = open + 1; k < close; ++k) {
            depth += isSymbol(t_[k], '(') ? 1 : isSymbol(t_[k], ')') ? -1 : 0;
            if (depth != 0) {
                continue;
            }
            if (function == "cast" && isWord(t_[k], "AS")) {
                return named(typeText(k + 1, close));
            }
            if (function == "convert" && isSymbol(t_[k], ',')) {
                return named(typeText(open + 1, k));
            }
        }
        return Type{};
    }

    static Type named(const std::string& text) {
        const std::string lower = asciiLower(text);
        if (lower == "int") {
            return Type::of(Kind::Int);
        }
        if (lower == "bit") {
            return Type::of(Kind::Bit);
        }
        return Type{Kind::Named, 0, 0, false, text};
    }

    // The type of function `name` over the argument at [open + 1, close).
    Type function(const std::string& name, std::size_t open, std::size_t close) {
        if (name == "cast" || name == "convert") {
            return conversion(name, open, close);
        }
        if (name == "count" || name == "len" || name == "datalength" || name == "charindex" || name == "object_id") {
            return Type::of(Kind::Int);
        }
        if (name == "count_big") {
            return Type::of(Kind::BigInt);
        }
        if (name == "getdate" || name == "getutcdate") {
            return Type::of(Kind::DateTime);
        }
        if (name == "sysdatetime" || name == "sysutcdatetime") {
            return Type{Kind::DateTime2, 0, 7, false, {}};
        }
        std::size_t argumentEnd = open + 1;
        for (int depth = 0; argumentEnd < close; ++argumentEnd) {
            depth += isSymbol(t_[argumentEnd], '(') ? 1 : isSymbol(t_[argumentEnd], ')') ? -1 : 0;
            if (depth == 0 && isSymbol(t_[argumentEnd], ',')) {
                break;
            }
        }
        const Type argument = TypeReader(std::vector<Token>(t_.begin() + static_cast<std::ptrdiff_t>(open + 1),
                                                            t_.begin() + static_cast<std::ptrdiff_t>(argumentEnd)))
                                  .whole();
        if (name == "abs" || name == "round" || name == "max" || name == "min" || name == "isnull") {
            return argument;
        }
        if (name == "sum" && argument.kind == Kind::Decimal) {
            return Type::decimal(38, argument.scale);
        }
        if (name == "avg" && argument.kind == Kind::Decimal) {
            return Type::decimal(38, std::max(argument.scale, 6));
        }
        if ((name == "sum" || name == "avg") && argument.numeric()) {
            return argument.kind == Kind::BigInt || argument.kind == Kind::Float ? argument : Type::of(Kind::Int);
        }
        return Type{};
    }

    Type variable(const std::string& name) {
        if (iequals(name, "@@SPID")) {
            return Type::of(Kind::SmallInt);
        }
        if (iequals(name, "@@TRANCOUNT") || iequals(name, "@@ROWCOUNT") || iequals(name, "@@ERROR")) {
            return Type::of(Kind::Int);
        }
        if (iequals(name, "@@VERSION")) {
            return named("NVARCHAR(300)");
        }
        return Type{};
    }

    Type primary() {
        if (p_ >= t_.size()) {
            return Type{};
        }
        const Token& t = t_[p_++];
        if (t.kind == TokenKind::Number) {
            return number(t.text);
        }
        if (t.kind == TokenKind::Variable) {
            return variable(t.text);
        }
        if (isSymbol(t, '(')) {
            Type inner = additive();
            if (!at(')')) {
                return Type{};
            }
            ++p_;
            return inner;
        }
        if (isWord(t, "CURRENT_TIMESTAMP")) {
            return Type::of(Kind::DateTime);
        }
        if (t.kind == TokenKind::Word && at('(')) {
            const std::size_t open = p_, close = closing(p_);
            p_ = std::min(close + 1, t_.size());
            return function(asciiLower(t.text), open, close);
        }
        while (at('.') && p_ + 1 < t_.size()) { // a column: SQLite knows its declared type
            p_ += 2;
        }
        return Type{};
    }

    std::vector<Token> t_;
    std::size_t p_ = 0;
};

// A plain (maybe qualified) column name, which keeps its name in the result.
bool isColumnReference(const std::vector<Token>& item) {
    if (item.empty()) {
        return false;
    }
    for (std::size_t k = 0; k < item.size(); ++k) {
        const bool expectName = k % 2 == 0;
        if (expectName ? !isName(item[k]) || isReserved(item[k]) : !isSymbol(item[k], '.')) {
            return false;
        }
    }
    return item.size() % 2 == 1;
}

// One item of the list: its hint, or nullopt for "*".
std::optional<ResultHint> describeItem(std::vector<Token> item) {
    if (!item.empty() && isSymbol(item.back(), '*') && (item.size() == 1 || isSymbol(item[item.size() - 2], '.'))) {
        return std::nullopt;
    }
    bool aliased = false;
    if (item.size() >= 3 && isName(item[0]) && isSymbol(item[1], '=') && !isSymbol(item[2], '=')) {
        item.erase(item.begin(), item.begin() + 2); // alias = expression
        aliased = true;
    } else if (item.size() >= 3 && isWord(item[item.size() - 2], "AS")) {
        item.resize(item.size() - 2);
        aliased = true;
    } else if (item.size() >= 2 && (isName(item.back()) || item.back().kind == TokenKind::String) &&
               !isReserved(item.back()) &&
               (item[item.size() - 2].kind != TokenKind::Symbol || isSymbol(item[item.size() - 2], ')'))) {
        item.pop_back(); // "expression alias": the alias follows a whole expression, not an operator
        aliased = true;
    }
    ResultHint hint;
    hint.unnamed = !aliased && !isColumnReference(item);
    hint.type = TypeReader(item).whole().text();
    return hint;
}

} // namespace

std::vector<ResultHint> describeSelectList(const std::vector<Token>& tokens) {
    const std::vector<Token> words = significant(tokens);
    if (words.empty() || !isWord(words[0], "SELECT")) {
        return {};
    }
    std::size_t p = 1;
    if (p < words.size() && (isWord(words[p], "DISTINCT") || isWord(words[p], "ALL"))) {
        ++p;
    }
    if (p < words.size() && isWord(words[p], "TOP")) {
        p += p + 1 < words.size() && isSymbol(words[p + 1], '(') ? 4 : 2;
        p += p < words.size() && isWord(words[p], "PERCENT") ? 1 : 0;
    }
    std::vector<ResultHint> hints;
    std::vector<Token> item;
    int depth = 0;
    for (; p <= words.size(); ++p) {
        const bool end = p == words.size() || (depth == 0 && endsSelectList(words[p]));
        if (end || (depth == 0 && isSymbol(words[p], ','))) {
            const auto hint = describeItem(std::move(item));
            if (!hint) {
                return {};
            }
            hints.push_back(*hint);
            item.clear();
            if (end) {
                break;
            }
            continue;
        }
        depth += isSymbol(words[p], '(') ? 1 : isSymbol(words[p], ')') ? -1 : 0;
        item.push_back(words[p]);
    }
    return hints;
}

} // namespace standin
