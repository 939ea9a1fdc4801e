#pragma once
// Opening the settings dialog: the one place the resident program, the tick and --settings go
// through.

#include "scheduler/context.h"

class QWidget;

namespace app {

// Shows the settings dialog modally and returns when it is closed.
void openSettingsDialog(scheduler::ProgramContext& ctx, QWidget* parent);

} // namespace app
