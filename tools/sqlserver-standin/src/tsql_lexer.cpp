#include "tsql_lexer.h"

#include "reply.h"
#include "utf.h"

#include <algorithm>

namespace standin {
namespace {

bool isNameChar(unsigned char c) {
    // Bytes of multi-byte UTF-8 characters belong to names: Japanese identifiers are common.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '#' ||
           c == '$' || c >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class Lexer {
public:
    explicit Lexer(std::string_view sql) : sql_(sql) {}

    std::vector<Token> run() {
        while (pos_ < sql_.size()) {
            const std::size_t start = pos_;
            const TokenKind kind = next();
            tokens_.push_back(Token{kind, std::string(sql_.substr(start, pos_ - start)), start});
        }
        return std::move(tokens_);
    }

private:
    char at(std::size_t i) const { return i < sql_.size() ? sql_[i] : '\0'; }

    TokenKind next() {
        const char c = sql_[pos_];
        if (isBlank(c)) {
            while (pos_ < sql_.size() && isBlank(sql_[pos_])) {
                ++pos_;
            }
            return TokenKind::Space;
        }
        if (c == '-' && at(pos_ + 1) == '-') {
            const std::size_t end = sql_.find('\n', pos_);
            pos_ = end == std::string_view::npos ? sql_.size() : end;
            return TokenKind::Space;
        }
        if (c == '/' && at(pos_ + 1) == '*') {
            blockComment();
            return TokenKind::Space;
        }
        if (c == '\'') {
            quoted('\'', "Unclosed quotation mark after the character string");
            return TokenKind::String;
        }
        if ((c == 'N' || c == 'n') && at(pos_ + 1) == '\'') {
            ++pos_;
            quoted('\'', "Unclosed quotation mark after the character string");
            return TokenKind::NString;
        }
        if (c == '[') {
            quoted(']', "Unclosed quotation mark before the identifier");
            return TokenKind::Quoted;
        }
        if (c == '"') {
            quoted('"', "Unclosed quotation mark before the identifier");
            return TokenKind::Quoted;
        }
        if (isDigit(c) || (c == '.' && isDigit(at(pos_ + 1)))) {
            number();
            return TokenKind::Number;
        }
        if (c == '@') {
            while (at(pos_) == '@') {
                ++pos_;
            }
            while (pos_ < sql_.size() && isNameChar(static_cast<unsigned char>(sql_[pos_]))) {
                ++pos_;
            }
            return TokenKind::Variable;
        }
        if (isNameChar(static_cast<unsigned char>(c))) {
            while (pos_ < sql_.size() && isNameChar(static_cast<unsigned char>(sql_[pos_]))) {
                ++pos_;
            }
            return TokenKind::Word;
        }
        ++pos_;
        return TokenKind::Symbol;
    }

    // T-SQL block comments nest.
    void blockComment() {
        int depth = 0;
        while (pos_ < sql_.size()) {
            if (sql_[pos_] == '/' && at(pos_ + 1) == '*') {
                ++depth, pos_ += 2;
            } else if (sql_[pos_] == '*' && at(pos_ + 1) == '/') {
                pos_ += 2;
                if (--depth == 0) {
                    return;
                }
            } else {
                ++pos_;
            }
        }
        throw SqlError(113, "Missing end comment mark '*/'.");
    }

    // A quoted run closed by `close`, where a doubled closing character stands for itself.
    void quoted(char close, const char* unclosed) {
        const std::size_t start = pos_++;
        for (;;) {
            const std::size_t end = sql_.find(close, pos_);
            if (end == std::string_view::npos) {
                const std::string_view rest = prefixByUtf16Units(sql_.substr(start + 1), 100);
                throw SqlError(105, std::string(unclosed) + " '" + std::string(rest) + "'.");
            }
            pos_ = end + 1;
            if (at(pos_) != close) {
                return;
            }
            ++pos_;
        }
    }

    void number() {
        while (isDigit(at(pos_)) || at(pos_) == '.') {
            ++pos_;
        }
        if ((at(pos_) == 'e' || at(pos_) == 'E') &&
            (isDigit(at(pos_ + 1)) || ((at(pos_ + 1) == '+' || at(pos_ + 1) == '-') && isDigit(at(pos_ + 2))))) {
            pos_ += 2;
            while (isDigit(at(pos_))) {
                ++pos_;
            }
        }
    }

    std::string_view sql_;
    std::size_t pos_ = 0;
    std::vector<Token> tokens_;
};

std::string trimmedSource(std::string_view sql, const std::vector<Token>& tokens) {
    auto first = std::find_if(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind != TokenKind::Space; });
    auto last = std::find_if(tokens.rbegin(), tokens.rend(), [](const Token& t) { return t.kind != TokenKind::Space; });
    if (first == tokens.end()) {
        return {};
    }
    const std::size_t end = last->offset + last->text.size();
    return std::string(sql.substr(first->offset, end - first->offset));
}

} // namespace

std::vector<Token> lexTsql(std::string_view sql) {
    return Lexer(sql).run();
}

std::vector<Statement> splitStatements(std::string_view sql) {
    std::vector<Statement> statements;
    Statement current;
    auto flush = [&] {
        const std::string text = trimmedSource(sql, current.tokens);
        if (!text.empty()) {
            const auto first = std::find_if(current.tokens.begin(), current.tokens.end(),
                                            [](const Token& t) { return t.kind != TokenKind::Space; });
            current.line = 1 + static_cast<int>(std::count(
                                   sql.begin(), sql.begin() + static_cast<std::ptrdiff_t>(first->offset), '\n'));
            current.text = text;
            statements.push_back(std::move(current));
        }
        current = Statement{};
    };
    for (Token& token : lexTsql(sql)) {
        if (token.kind == TokenKind::Symbol && token.text == ";") {
            flush();
        } else {
            current.tokens.push_back(std::move(token));
        }
    }
    flush();
    return statements;
}

std::vector<Token> significant(const std::vector<Token>& tokens) {
    std::vector<Token> out;
    std::copy_if(tokens.begin(), tokens.end(), std::back_inserter(out),
                 [](const Token& t) { return t.kind != TokenKind::Space; });
    return out;
}

std::string literalValue(const Token& token) {
    std::string_view body = token.text;
    if (token.kind == TokenKind::NString) {
        body.remove_prefix(1);
    }
    if (token.kind != TokenKind::String && token.kind != TokenKind::NString) {
        return std::string(body);
    }
    body = body.substr(1, body.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        out += body[i];
        if (body[i] == '\'' && i + 1 < body.size() && body[i + 1] == '\'') {
            ++i;
        }
    }
    return out;
}

std::string nameValue(const Token& token) {
    if (token.kind != TokenKind::Quoted) {
        return token.text;
    }
    const char close = token.text.front() == '[' ? ']' : '"';
    const std::string_view body = std::string_view(token.text).substr(1, token.text.size() - 2);
    std::string out;
    for (std::size_t i = 0; i < body.size(); ++i) {
        out += body[i];
        if (body[i] == close && i + 1 < body.size() && body[i + 1] == close) {
            ++i;
        }
    }
    return out;
}

bool isWord(const Token& token, std::string_view word) {
    return token.kind == TokenKind::Word && iequals(token.text, word);
}

} // namespace standin
