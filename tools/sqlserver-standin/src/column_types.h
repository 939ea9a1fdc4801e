#pragma once

#include "reply.h"

#include <optional>
#include <string>
#include <vector>

namespace standin {

// A result column as SQLite describes it: its name and declared type (none for expressions).
struct SourceColumn {
    std::string name;
    std::optional<std::string> declaredType;
};

// Chooses each column's TDS type and converts the cells to it. Rows hold SQLite's values (NULL,
// integer, double, text, Blob). Throws SqlError when a value does not fit its column's type, as
// SQL Server reports a failed conversion. Without PLP (TDS before 7.2) there are no MAX columns,
// so a longer value is an error there.
ResultSet typeResult(const std::vector<SourceColumn>& columns, std::vector<Row> rows, bool plpAllowed);

// A value converted to a column's type as a SELECT sends it; throws SqlError as typeResult does.
Cell convertCell(const Cell& cell, const Column& column);

// Throws the SqlError SQL Server gives when the value is stored into a column of that type:
// 245/241/242 for text that is no number or date, 220/8115 for a number out of range, 8152 for
// text longer than the column.
void checkStorable(const Cell& cell, const Column& column);

// The column type a declared SQL type stands for, size included.
Column columnForDeclaredType(const std::string& name, const std::string& declared);

} // namespace standin
