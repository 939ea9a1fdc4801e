#pragma once

#include "reply.h"

#include <optional>

struct sqlite3;

namespace standin {

// SQL Server's refusals that SQLite would not make raise this from inside SQLite; the session
// reports the message instead of SQLite's own text.
struct FunctionErrors {
    std::optional<ServerMessage> pending;
};

// Registers on a connection the functions the T-SQL translation calls: standin_add ("+", which
// joins strings), standin_div and standin_mod (which refuse zero), standin_cast (CAST and
// CONVERT), standin_len (LEN, which ignores trailing blanks) and standin_store (the type check
// of a value written to a column). `errors` must outlive the connection.
void registerSqlFunctions(sqlite3* db, FunctionErrors* errors);

} // namespace standin
