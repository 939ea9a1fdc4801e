#pragma once
// What the dialog needs of the server when it opens: the product database and its list of user
// databases.

#include "core/context.h"
#include "core/db_session.h"

namespace settings_dialog {

// Opens the session's connection and fills session.serverDatabases. A login missing from
// the settings gets its message 3001 and a server without user databases its message 3004; a
// connection that cannot be made is reported with the scheduler's own box, so that the user knows
// why the dialog shows no databases.
bool openDatabaseAndLoadList(core::ProgramContext& ctx, core::DbSession& session);

} // namespace settings_dialog
