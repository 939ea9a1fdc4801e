#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class TokenKind {
    Space,   // blanks and comments
    Word,    // keyword or plain identifier
    Quoted,  // [identifier] or "identifier"
    String,  // 'text' with '' for a quote
    NString, // N'text'
    Number,
    Variable, // @name or @@name
    Symbol,   // any other single character
};

struct Token {
    TokenKind kind = TokenKind::Space;
    std::string text; // the raw source text
    std::size_t offset = 0;
};

// One statement of a batch: its tokens (a trailing ";" excluded) and its first line in the batch.
struct Statement {
    std::vector<Token> tokens;
    int line = 1;
    std::string text; // source text, trimmed, for logs and messages
};

// Splits T-SQL into tokens. Throws SqlError for an unclosed string, identifier or comment.
std::vector<Token> lexTsql(std::string_view sql);

// Splits a batch at the ";" that stand outside strings, names and comments; drops empty statements.
std::vector<Statement> splitStatements(std::string_view sql);

// The significant tokens (no spaces or comments).
std::vector<Token> significant(const std::vector<Token>& tokens);

// The value of a String/NString token ('' undoubled), or of a name token (brackets removed).
std::string literalValue(const Token& token);
std::string nameValue(const Token& token);
bool isWord(const Token& token, std::string_view word); // a Word equal to word, ignoring ASCII case

} // namespace standin
