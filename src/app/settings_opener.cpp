#include "app/settings_opener.h"

#include "settings_dialog/config_dialog.h"

namespace app {

void openSettingsDialog(scheduler::ProgramContext& ctx, QWidget* parent) {
    settings_dialog::showSettingsDialog(ctx, parent);
}

} // namespace app
