#include "settings_dialog/server_list.h"

#include "backup/db_list.h"
#include "scheduler/connection.h"

namespace settings_dialog {

bool openDatabaseAndLoadList(scheduler::ProgramContext& ctx) {
    ctx.releaseDatabase();
    if (!scheduler::fnGetDbObject(ctx)) {
        // A missing login or settings path has been reported by the lookup; a connection object
        // exists only when the server itself could not be reached or refused the login.
        if (ctx.database)
            ctx.ui.messageBox("DBオブジェクトの取得に失敗しました。", "", platform::MsgIcon::Critical);
        return false;
    }
    return backup::fnLoadDBList(ctx);
}

} // namespace settings_dialog
