#pragma once
// The user databases of the server, read from its catalogue through the product connection.

#include "scheduler/context.h"

#include <string>
#include <vector>

namespace data {
class QRCDBS_DataBase;
}

namespace backup {

// The catalogue query: every database but master, tempdb, msdb and model, compared after
// trimming blanks, ordered by name.
extern const std::string kDatabaseListQuery;

// Rewrites `names` with the user databases in the server's order; true when the query ran and
// every row was read. Without a database object the list is left as it was.
bool fnGetDBList(data::QRCDBS_DataBase* database, std::vector<std::string>& names);

// Fills ctx.serverDatabases; true when it holds at least one database. Message 3004 when the
// server has none, 3001 when the list could not be read.
bool fnLoadDBList(scheduler::ProgramContext& ctx);

} // namespace backup
