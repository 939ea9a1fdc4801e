#include "backup/db_list.h"

#include "common/messages.h"
#include "data/database.h"

namespace backup {

const std::string kDatabaseListQuery =
    R"(SELECT name FROM master..sysdatabases  Where  LTrim(RTrim(name)) <> 'master' )"
    R"(AND LTrim(RTrim(name)) <> 'tempdb' AND LTrim(RTrim(name)) <> 'msdb' AND LTrim(RTrim(name)) <> 'model' )"
    R"(ORDER BY name;)";

bool fnGetDBList(data::QRCDBS_DataBase* database, std::vector<std::string>& names) {
    if (!database)
        return false;
    names.clear();
    auto rs = database->fnOpenRecordSet(kDatabaseListQuery, 0, 1, -1);
    if (!rs)
        return false;
    bool result = true;
    while (!rs->pbEOF()) {
        names.push_back(rs->fnGetChar(std::string("name")));
        if (!rs->fnMoveNext()) {
            result = false;
            break;
        }
    }
    rs->fnClose();
    return result;
}

bool fnLoadDBList(scheduler::ProgramContext& ctx) {
    ctx.serverDatabases.clear();
    if (!fnGetDBList(ctx.database.get(), ctx.serverDatabases)) {
        common::fnQRMES01_DispMessage(ctx.ui, 3001, 0, "データベース一覧の取得", "", "");
        return false;
    }
    if (ctx.serverDatabases.empty()) {
        common::fnQRMES01_DispMessage(ctx.ui, 3004, 0, "データベース", "", "");
        return false;
    }
    return true;
}

} // namespace backup
