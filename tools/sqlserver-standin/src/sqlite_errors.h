#pragma once

#include "reply.h"

#include <string>

namespace standin {

// Turns a SQLite failure into the SQL Server error a client expects for the same fault, so that
// ODBC reports the usual SQLSTATE (208 → 42S02, 207 → 42S22, 2627/515/547 → 23000, …).
ServerMessage sqliteFailure(int code, const std::string& text);

} // namespace standin
