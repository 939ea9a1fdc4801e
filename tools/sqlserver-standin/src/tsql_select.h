#pragma once

#include "tsql_translate.h"

#include <vector>

namespace standin {

// What a SELECT's list says about its result columns that SQLite cannot tell: which are
// expressions without an alias (SQL Server names them "") and the types of expressions whose
// type SQL Server fixes: numeric literals (7 is INT, 1.50 DECIMAL(3,2)), arithmetic on them by
// the precedence and precision rules, CAST and CONVERT, and a few functions (COUNT, GETDATE,
// SYSDATETIME, SUM, ...). Empty when the statement is no SELECT or its list holds "*".
std::vector<ResultHint> describeSelectList(const std::vector<Token>& tokens);

} // namespace standin
