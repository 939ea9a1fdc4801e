#pragma once
// The user databases of the server, read from its catalogue through the product connection.

#include "core/context.h"
#include "core/db_session.h"

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

enum class DbListFailure { None, Unreadable, Empty };

// Fills session.serverDatabases through the session's connection; shows nothing.
DbListFailure fnReadDBList(core::DbSession& session);
// Message 3001 when the list could not be read, 3004 when the server has no user database.
void reportDbListFailure(platform::UiSink& ui, DbListFailure failure);

// fnReadDBList with its message: for the callers whose only report of the failure it is. True
// when the list holds at least one database.
bool fnLoadDBList(core::ProgramContext& ctx, core::DbSession& session);

} // namespace backup
