#include "tsql_expressions.h"

#include "reply.h"
#include "utf.h"

#include <array>
#include <optional>

namespace standin {
namespace {

using Tokens = std::vector<Token>;

bool isSymbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}

Token symbol(const char* text) {
    return Token{TokenKind::Symbol, text, 0};
}

// Words that end an operand rather than name one.
bool isKeyword(const Token& t) {
    static constexpr std::array kWords{
        "ALL",    "AND",    "AS",       "ASC",   "BETWEEN", "BY",   "CASE",   "COLLATE", "CREATE", "CROSS", "DEFAULT",
        "DELETE", "DESC",   "DISTINCT", "DROP",  "ELSE",    "END",  "ESCAPE", "EXISTS",  "FROM",   "GROUP", "HAVING",
        "IN",     "INNER",  "INSERT",   "INTO",  "IS",      "JOIN", "LIKE",   "NOT",     "ON",     "OR",    "ORDER",
        "OUTER",  "SELECT", "SET",      "TABLE", "THEN",    "TOP",  "UNION",  "UPDATE",  "VALUES", "WHEN",  "WHERE"};
    if (t.kind != TokenKind::Word) {
        return false;
    }
    for (const char* word : kWords) {
        if (iequals(t.text, word)) {
            return true;
        }
    }
    return false;
}

[[noreturn]] void tooDeep() {
    throw SqlError(191, "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
                        "into smaller queries.");
}

class Rewriter {
public:
    Rewriter(const Tokens& in, std::string collation) : in_(in), collation_(std::move(collation)) {}

    // The tokens of [begin, end) with every expression in them rewritten.
    Tokens range(std::size_t begin, std::size_t end) {
        // Each level of parentheses costs stack here; SQL Server has a limit of its own too.
        if (++depth_ > kMaxDepth) {
            tooDeep();
        }
        Tokens out;
        std::size_t p = begin;
        while (p < end) {
            if (in_[p].kind == TokenKind::Space) {
                out.push_back(in_[p++]);
                continue;
            }
            std::size_t after = p;
            if (auto expression = comparison(p, end, after)) {
                append(out, *expression);
                p = after;
            } else {
                out.push_back(in_[p++]);
            }
        }
        --depth_;
        return out;
    }

private:
    std::size_t skipSpace(std::size_t p, std::size_t end) const {
        while (p < end && in_[p].kind == TokenKind::Space) {
            ++p;
        }
        return p;
    }

    // The ")" that closes the "(" at `open`, or `end` when there is none.
    std::size_t closing(std::size_t open, std::size_t end) const {
        int depth = 0;
        for (std::size_t k = open; k < end; ++k) {
            depth += isSymbol(in_[k], '(') ? 1 : isSymbol(in_[k], ')') ? -1 : 0;
            if (depth == 0) {
                return k;
            }
        }
        return end;
    }

    static void append(Tokens& out, const Tokens& more) { out.insert(out.end(), more.begin(), more.end()); }

    static Tokens call(const char* name, std::initializer_list<Tokens> arguments) {
        Tokens out{Token{TokenKind::Word, name, 0}, symbol("(")};
        bool first = true;
        for (const Tokens& argument : arguments) {
            if (!first) {
                out.push_back(symbol(","));
                out.push_back(Token{TokenKind::Space, " ", 0});
            }
            append(out, argument);
            first = false;
        }
        out.push_back(symbol(")"));
        return out;
    }

    // The operator at `p` when it is one of `ops`.
    std::optional<char> binaryOperator(std::size_t p, std::size_t end, std::string_view ops) const {
        if (p < end && in_[p].kind == TokenKind::Symbol && in_[p].text.size() == 1 &&
            ops.find(in_[p].text[0]) != std::string_view::npos) {
            return in_[p].text[0];
        }
        return std::nullopt;
    }

    using Operand = std::optional<Tokens> (Rewriter::*)(std::size_t, std::size_t, std::size_t&);

    // operand { op operand } for the operators in `ops`, joined left to right by `join`; nullopt
    // when no operand starts at `p`.
    template <typename Join>
    std::optional<Tokens> chain(Operand operand, std::string_view ops, Join join, std::size_t p, std::size_t end,
                                std::size_t& after) {
        auto left = (this->*operand)(p, end, after);
        while (left) {
            const std::size_t at = skipSpace(after, end);
            const auto op = binaryOperator(at, end, ops);
            std::size_t next = 0;
            auto right = op ? (this->*operand)(skipSpace(at + 1, end), end, next) : std::nullopt;
            if (!right) {
                break;
            }
            join(*op, *left, *right);
            after = next;
        }
        return left;
    }

    // The comparison operator at `p` ("=", "<>", "!=", "<", ">", "<=", ">="): its tokens' end.
    std::optional<std::size_t> comparisonOperator(std::size_t p, std::size_t end) const {
        if (p >= end || in_[p].kind != TokenKind::Symbol) {
            return std::nullopt;
        }
        const char first = in_[p].text[0];
        const char second = p + 1 < end && in_[p + 1].kind == TokenKind::Symbol ? in_[p + 1].text[0] : '\0';
        if ((first == '<' && (second == '>' || second == '=')) || (first == '>' && second == '=') ||
            (first == '!' && second == '=')) {
            return p + 2;
        }
        if (first == '=' || first == '<' || first == '>') {
            return p + 1;
        }
        return std::nullopt;
    }

    // A plain (maybe qualified) column name: its own collation decides a comparison.
    bool isColumn(std::size_t begin, std::size_t end) const {
        bool any = false;
        for (std::size_t k = begin; k < end; ++k) {
            const Token& t = in_[k];
            if (t.kind == TokenKind::Space || isSymbol(t, '.')) {
                continue;
            }
            if ((t.kind != TokenKind::Word && t.kind != TokenKind::Quoted) || isKeyword(t) || isWord(t, "NULL")) {
                return false;
            }
            any = true;
        }
        return any;
    }

    // additive [ comparison-operator additive ]
    std::optional<Tokens> comparison(std::size_t p, std::size_t end, std::size_t& after) {
        auto left = additive(p, end, after);
        if (!left) {
            return left;
        }
        const std::size_t leftEnd = after;
        const auto opEnd = comparisonOperator(skipSpace(leftEnd, end), end);
        std::size_t rightEnd = 0;
        const std::size_t rightStart = opEnd ? skipSpace(*opEnd, end) : end;
        auto right = opEnd ? additive(rightStart, end, rightEnd) : std::nullopt;
        if (!right) {
            return left;
        }
        Tokens out = std::move(*left);
        out.push_back(Token{TokenKind::Space, " ", 0});
        out.insert(out.end(), in_.begin() + static_cast<std::ptrdiff_t>(skipSpace(leftEnd, end)),
                   in_.begin() + static_cast<std::ptrdiff_t>(*opEnd));
        out.push_back(Token{TokenKind::Space, " ", 0});
        if (isColumn(p, leftEnd) || isColumn(rightStart, rightEnd)) {
            append(out, *right);
        } else {
            out.push_back(symbol("("));
            append(out, *right);
            append(out, Tokens{symbol(")"), Token{TokenKind::Space, " ", 0}, Token{TokenKind::Word, "COLLATE", 0},
                               Token{TokenKind::Space, " ", 0}, Token{TokenKind::Quoted, "\"" + collation_ + "\"", 0}});
        }
        after = rightEnd;
        return out;
    }

    // term { ("+" | "-") term }
    std::optional<Tokens> additive(std::size_t p, std::size_t end, std::size_t& after) {
        return chain(
            &Rewriter::multiplicative, "+-",
            [](char op, Tokens& left, const Tokens& right) {
                if (op == '+') {
                    left = call("standin_add", {left, right});
                    return;
                }
                append(left, Tokens{Token{TokenKind::Space, " ", 0}, symbol("-"), Token{TokenKind::Space, " ", 0}});
                append(left, right);
            },
            p, end, after);
    }

    // unit { ("*" | "/" | "%") unit }
    std::optional<Tokens> multiplicative(std::size_t p, std::size_t end, std::size_t& after) {
        return chain(
            &Rewriter::unit, "*/%",
            [](char op, Tokens& left, const Tokens& right) {
                if (op == '*') {
                    append(left, Tokens{symbol("*")});
                    append(left, right);
                    return;
                }
                left = call(op == '/' ? "standin_div" : "standin_mod", {left, right});
            },
            p, end, after);
    }

    // [unary sign] primary: a literal, a name (dotted, maybe a call) or a parenthesised group.
    std::optional<Tokens> unit(std::size_t p, std::size_t end, std::size_t& after) {
        if (p >= end) {
            return std::nullopt;
        }
        const Token& t = in_[p];
        if (isSymbol(t, '-') || isSymbol(t, '+') || isSymbol(t, '~')) {
            // A run of signs recurses once per sign: count it like a nesting level.
            if (++depth_ > kMaxDepth) {
                tooDeep();
            }
            auto operand = unit(skipSpace(p + 1, end), end, after);
            --depth_;
            if (operand) {
                operand->insert(operand->begin(), t);
            }
            return operand;
        }
        if (t.kind == TokenKind::String || t.kind == TokenKind::NString || t.kind == TokenKind::Number ||
            t.kind == TokenKind::Variable) {
            after = p + 1;
            return Tokens{t};
        }
        if (isSymbol(t, '(')) {
            const std::size_t close = closing(p, end);
            if (close == end) {
                return std::nullopt;
            }
            after = close + 1;
            Tokens out{t};
            append(out, range(p + 1, close));
            out.push_back(in_[close]);
            return out;
        }
        if ((t.kind == TokenKind::Word && !isKeyword(t)) || t.kind == TokenKind::Quoted) {
            return name(p, end, after);
        }
        return std::nullopt;
    }

    // A dotted name ("db..t.c" included), and its argument list when it is a call.
    std::optional<Tokens> name(std::size_t p, std::size_t end, std::size_t& after) {
        std::size_t k = p + 1;
        while (
            k + 1 < end && isSymbol(in_[k], '.') &&
            (in_[k + 1].kind == TokenKind::Word || in_[k + 1].kind == TokenKind::Quoted || isSymbol(in_[k + 1], '.'))) {
            k += isSymbol(in_[k + 1], '.') ? 1 : 2;
        }
        Tokens out(in_.begin() + static_cast<std::ptrdiff_t>(p), in_.begin() + static_cast<std::ptrdiff_t>(k));
        const std::size_t open = skipSpace(k, end);
        if (open >= end || !isSymbol(in_[open], '(')) {
            after = k;
            return out;
        }
        const std::size_t close = closing(open, end);
        if (close == end) {
            after = k;
            return out;
        }
        after = close + 1;
        if (k == p + 1 && isWord(in_[p], "CAST")) {
            return cast(open, close);
        }
        if (k == p + 1 && isWord(in_[p], "CONVERT")) {
            return convert(open, close);
        }
        out.push_back(in_[open]);
        append(out, range(open + 1, close));
        out.push_back(in_[close]);
        return out;
    }

    // The source text of [begin, end) as one string literal: a type name for standin_cast.
    Tokens typeLiteral(std::size_t begin, std::size_t end) const {
        std::string text;
        for (std::size_t k = begin; k < end; ++k) {
            if (in_[k].kind != TokenKind::Space) {
                text += in_[k].text;
            }
        }
        std::string literal = "'";
        for (char c : text) {
            literal += c == '\'' ? "''" : std::string(1, c);
        }
        return Tokens{Token{TokenKind::String, literal + "'", 0}};
    }

    // Positions of the tokens in (open, close) that stand outside nested parentheses and match.
    template <typename Match> std::vector<std::size_t> topLevel(std::size_t open, std::size_t close, Match match) {
        std::vector<std::size_t> at;
        int depth = 0;
        for (std::size_t k = open + 1; k < close; ++k) {
            depth += isSymbol(in_[k], '(') ? 1 : isSymbol(in_[k], ')') ? -1 : 0;
            if (depth == 0 && match(in_[k])) {
                at.push_back(k);
            }
        }
        return at;
    }

    Tokens cast(std::size_t open, std::size_t close) {
        const auto as = topLevel(open, close, [](const Token& t) { return isWord(t, "AS"); });
        if (as.size() != 1) {
            throw SqlError(1035, "Incorrect syntax near 'CAST', expected 'AS'.");
        }
        return call("standin_cast", {range(open + 1, as[0]), typeLiteral(as[0] + 1, close)});
    }

    Tokens convert(std::size_t open, std::size_t close) {
        auto commas = topLevel(open, close, [](const Token& t) { return isSymbol(t, ','); });
        if (commas.empty() || commas.size() > 2) {
            throw SqlError(102, "Incorrect syntax near 'CONVERT'.");
        }
        const Tokens type = typeLiteral(open + 1, commas[0]);
        commas.push_back(close);
        Tokens value = range(commas[0] + 1, commas[1]);
        if (commas.size() == 2) {
            return call("standin_cast", {value, type});
        }
        return call("standin_cast", {value, type, range(commas[1] + 1, commas[2])});
    }

    static constexpr int kMaxDepth = 128;
    const Tokens& in_;
    std::string collation_;
    int depth_ = 0;
};

} // namespace

std::vector<Token> rewriteExpressions(const std::vector<Token>& tokens, const std::string& collation) {
    return Rewriter(tokens, collation).range(0, tokens.size());
}

} // namespace standin
