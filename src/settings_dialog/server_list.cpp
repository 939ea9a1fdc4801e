#include "settings_dialog/server_list.h"

#include "backup/db_list.h"
#include "scheduler/connection.h"

namespace settings_dialog {

bool openDatabaseAndLoadList(scheduler::ProgramContext& ctx) {
    if (!scheduler::fnGetDbObject(ctx)) {
        ctx.ui.messageBox("DBオブジェクトの取得に失敗しました。", "", platform::MsgIcon::Critical);
        return false;
    }
    return backup::fnLoadDBList(ctx);
}

} // namespace settings_dialog
