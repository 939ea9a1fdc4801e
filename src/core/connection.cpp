#include "core/connection.h"

#include "common/messages.h"
#include "common/password.h"
#include "common/string_utils.h"
#include "core/settings.h"
#include "data/database.h"
#include "data/debug_log.h"

namespace core {

void reportDbObjectFailure(platform::UiSink& ui, DbObjectFailure failure) {
    const auto report = [&ui](std::string_view what, std::string_view item) {
        common::fnQRMES01_DispMessage(ui, 3001, 0, what, item, "");
    };
    switch (failure) {
    case DbObjectFailure::ScheduleIniMissing:
        return report("INIファイルパスの取得", kScheduleIniName);
    case DbObjectFailure::UserMissing:
        return report("INIファイル情報の取得", "データベースログインユーザ");
    case DbObjectFailure::PasswordMissing:
        return report("INIファイル情報の取得", "データベースログインパスワード");
    case DbObjectFailure::ZuzorIniMissing:
        return report("INIファイルパスの取得", kZuzorIniName);
    case DbObjectFailure::None:
    case DbObjectFailure::OpenFailed:
        return;
    }
}

DbObjectFailure fnGetDbLogin(const ProgramContext& ctx, std::string& user, std::string& password) {
    user = common::trim(fnGetScheduleIni(ctx, "(local)", "USER_NAME"));
    if (user.empty())
        return DbObjectFailure::UserMissing;
    const std::string stored = common::trimRight(fnGetScheduleIni(ctx, "(local)", "PASSWORD"));
    // A text that does not decipher (wrong key, damaged text) gives "": it is reported like a
    // missing password instead of trying a login with an empty one.
    password = stored.empty() ? std::string() : common::fnDecryptPassword(ctx.programDir, stored);
    return password.empty() ? DbObjectFailure::PasswordMissing : DbObjectFailure::None;
}

bool fnOpenDbFromIni(const ProgramContext& ctx, DbSession& session, const std::filesystem::path& file,
                     std::string_view user, std::string_view password) {
    const std::string server = data::fnReadIniValue("DATABASE", "SERVER_NAME", "", file, &ctx.ui);
    const std::string database = data::fnReadIniValue("DATABASE", "DB_NAME", "", file, &ctx.ui);
    session.database = std::make_shared<data::QRCDBS_DataBase>(ctx.dataEnv());
    return session.database->fnOpen(server, database, user, password, 1);
}

DbObjectResult fnGetDbObject(const ProgramContext& ctx, DbSession& session) {
    if (fnGetScheduleIniPath(ctx).empty())
        return {DbObjectFailure::ScheduleIniMissing};
    std::string user, password;
    if (const auto failure = fnGetDbLogin(ctx, user, password); failure != DbObjectFailure::None)
        return {failure};
    const auto zuzor = fnGetZuzorIniPath(ctx);
    if (zuzor.empty()) {
        common::wipe(password);
        return {DbObjectFailure::ZuzorIniMissing};
    }
    const bool opened = fnOpenDbFromIni(ctx, session, zuzor, user, password);
    if (opened) {
        session.user = user;
        common::wipe(session.password);
        session.password = password;
    }
    common::wipe(password);
    return {opened ? DbObjectFailure::None : DbObjectFailure::OpenFailed};
}

} // namespace core
