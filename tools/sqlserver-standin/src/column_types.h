#pragma once

#include "reply.h"

#include <optional>
#include <string>
#include <vector>

namespace standin {

// A result column as the statement describes it: its name ("" when SQL Server leaves it unnamed),
// the declared type of the column it reads or the type the expression has, when known, and the
// collation of the column it reads.
struct SourceColumn {
    std::string name;
    std::optional<std::string> declaredType;
    std::optional<Collation> collation;
};

// Chooses each column's TDS type and converts the cells to it. Rows hold SQLite's values (NULL,
// integer, double, text, Blob); a column of no known type takes the type of its values. Text
// columns carry their collation, or the database's. Throws SqlError when a value does not fit
// its column's type, as SQL Server reports a failed conversion. Without PLP (TDS before 7.2)
// there are no MAX columns, so a longer value is an error there.
ResultSet typeResult(const std::vector<SourceColumn>& columns, std::vector<Row> rows, bool plpAllowed,
                     const Collation& database);

// Where a type is written decides the length of a text type written without one: 1 in a
// column definition, 30 in CAST and CONVERT (T-SQL's rules); a result column without a length is
// declared generously, since FreeTDS cuts values longer than the declared length.
enum class TypeUse { Definition, Conversion, Result };

// The column type a declared SQL type stands for, size, precision and scale included.
Column columnForDeclaredType(const std::string& name, const std::string& declared, TypeUse use,
                             const Collation& collation = defaultCollation());

} // namespace standin
