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

DbListFailure fnReadDBList(core::DbSession& session) {
    session.serverDatabases.clear();
    if (!fnGetDBList(session.database.get(), session.serverDatabases))
        return DbListFailure::Unreadable;
    return session.serverDatabases.empty() ? DbListFailure::Empty : DbListFailure::None;
}

void reportDbListFailure(platform::UiSink& ui, DbListFailure failure) {
    if (failure == DbListFailure::Unreadable)
        common::fnQRMES01_DispMessage(ui, 3001, 0, "データベース一覧の取得", "", "");
    else if (failure == DbListFailure::Empty)
        common::fnQRMES01_DispMessage(ui, 3004, 0, "データベース", "", "");
}

bool fnLoadDBList(core::ProgramContext& ctx, core::DbSession& session) {
    const DbListFailure failure = fnReadDBList(session);
    reportDbListFailure(ctx.ui, failure);
    return failure == DbListFailure::None;
}

} // namespace backup
