#pragma once

#include "reply.h"

#include <optional>

struct sqlite3;

namespace standin {

// What the server's functions share on one connection: the refusal SQL Server would make, which
// a function raises from inside SQLite and the session reports instead of SQLite's own text, and
// the current database's collation, which conversions to text use.
struct FunctionState {
    std::optional<ServerMessage> pending;
    Collation collation = defaultCollation();
};

// Registers on a connection the functions the T-SQL translation calls: standin_add ("+", which
// joins strings), standin_div and standin_mod (which refuse zero), standin_cast (CAST and
// CONVERT), standin_len (LEN, which ignores trailing blanks), standin_n (an N'...' literal),
// standin_coerce (a value written by INSERT ... VALUES or UPDATE ... SET, as its column keeps it)
// and standin_store (the type check of a value written to a column). `state` must outlive the
// connection.
void registerSqlFunctions(sqlite3* db, FunctionState* state);

} // namespace standin
