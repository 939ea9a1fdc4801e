#pragma once
// Opening the settings dialog: the one place the resident program, the tick and --settings go
// through.

#include "core/context.h"
#include "core/db_session.h"

class QWidget;

namespace app {

// Shows the settings dialog modally on `session` (a due tick's, whose server list it loads again)
// and returns when it is closed.
void openSettingsDialog(core::ProgramContext& ctx, core::DbSession& session, QWidget* parent);
// The same on a session of its own, released when the dialog closes.
void openSettingsDialog(core::ProgramContext& ctx, QWidget* parent);

} // namespace app
