#include "settings_dialog/server_list.h"

#include "backup/db_list.h"
#include "core/connection.h"

namespace settings_dialog {

bool openDatabaseAndLoadList(core::ProgramContext& ctx, core::DbSession& session) {
    session.release();
    if (const auto db = core::fnGetDbObject(ctx, session); !db) {
        // A missing login or settings path gets its message alone; only a server that could not
        // be reached or refused the login gets the scheduler's box.
        core::reportDbObjectFailure(ctx.ui, db.failure);
        if (db.failure == core::DbObjectFailure::OpenFailed)
            ctx.ui.messageBox("DBオブジェクトの取得に失敗しました。", "", platform::MsgIcon::Critical);
        return false;
    }
    return backup::fnLoadDBList(ctx, session);
}

} // namespace settings_dialog
