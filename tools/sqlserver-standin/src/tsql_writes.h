#pragma once

#include "tsql_translate.h"

#include <vector>

namespace standin {

// INSERT ... VALUES and UPDATE ... SET with every value written to a known column wrapped in
// standin_coerce(value, 'declared type', 'collation'), so that the column keeps it as SQL Server
// would (converted, rounded, padded, in its code page) and a refusal names the value's type. Other
// statements, and values whose column is unknown, stay as they are.
std::vector<Token> withCoercedWrites(const std::vector<Token>& tokens, const TranslationContext& context);

} // namespace standin
