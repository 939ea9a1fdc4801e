#include "app/settings_opener.h"

#include "common/password.h"
#include "settings_dialog/config_dialog.h"

namespace app {

void openSettingsDialog(scheduler::ProgramContext& ctx, QWidget* parent) {
    settings_dialog::showSettingsDialog(ctx, parent);
    // The dialog's login opened its database list; nothing needs the password any more.
    common::wipe(ctx.dbPassword);
}

} // namespace app
