#pragma once

#include "tsql_lexer.h"

#include <string>
#include <vector>

namespace standin {

// Rewrites the T-SQL expressions whose meaning SQLite does not share into calls of the server's
// own functions (see sql_functions.h): "a + b" (strings are joined, text meets numbers as SQL
// Server converts it), "a / b" and "a % b" (zero fails), CAST(x AS type) and
// CONVERT(type, x[, style]). A comparison that no column's collation decides (literals,
// function results) is made under `collation`, the database's. Operator precedence and
// parentheses are kept; everything else is passed through token by token.
std::vector<Token> rewriteExpressions(const std::vector<Token>& tokens, const std::string& collation);

} // namespace standin
