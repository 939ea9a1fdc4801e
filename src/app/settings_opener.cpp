#include "app/settings_opener.h"

#include "common/password.h"
#include "settings_dialog/config_dialog.h"

namespace app {

void openSettingsDialog(core::ProgramContext& ctx, core::DbSession& session, QWidget* parent) {
    settings_dialog::showSettingsDialog(ctx, session, parent);
    // The dialog's login opened its database list; nothing needs the password any more.
    common::wipe(session.password);
}

void openSettingsDialog(core::ProgramContext& ctx, QWidget* parent) {
    core::DbSession session;
    openSettingsDialog(ctx, session, parent);
}

} // namespace app
