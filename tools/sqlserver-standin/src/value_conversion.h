#pragma once

#include "reply.h"

namespace standin {

// How a text value's type is named in conversion errors: a literal without N is varchar, one
// with N (and what is made of it) nvarchar.
enum class TextKind { Varchar, Nvarchar };

// A value converted to a column's type as a SELECT sends it: DECIMAL rounded to its scale, NCHAR
// and CHAR padded with blanks, DATETIME and DATETIME2 as their values. Throws SqlError as SQL
// Server reports a failed conversion (245, 241/242, 220/8115, 8114).
Cell convertCell(const Cell& cell, const Column& column, TextKind kind = TextKind::Varchar);

// What a column keeps in SQLite for a value written to it: the converted value in the form the
// server stores (DATETIME as "yyyy-mm-dd hh:mm:ss.fff", DECIMAL rounded, CHAR/VARCHAR in the
// collation's code page, NCHAR/CHAR padded). Throws SqlError as convertCell does, and 8152 for
// text longer than the column.
Cell storedValue(const Cell& cell, const Column& column, TextKind kind = TextKind::Varchar);

// Throws the SqlError SQL Server gives when the value is stored into a column of that type.
void checkStorable(const Cell& cell, const Column& column, TextKind kind = TextKind::Varchar);

// DATETIME and DATETIME2 values live in SQLite as text of these exact forms; other text is
// character data, even when it reads as a date.
bool isDatetimeText(std::string_view text);
bool isDatetime2Text(std::string_view text);

} // namespace standin
