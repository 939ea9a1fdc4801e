#include "scheduler/connection.h"

#include "common/messages.h"
#include "common/password.h"
#include "common/string_utils.h"
#include "data/database.h"
#include "data/debug_log.h"
#include "scheduler/settings.h"

namespace scheduler {
namespace {

void reportIniFailure(ProgramContext& ctx, std::string_view what, std::string_view item) {
    common::fnQRMES01_DispMessage(ctx.ui, 3001, 0, what, item, "");
}

} // namespace

bool fnGetDbLogin(ProgramContext& ctx, std::string& user, std::string& password) {
    user = common::trim(fnGetScheduleIni(ctx, "(local)", "USER_NAME"));
    if (user.empty()) {
        reportIniFailure(ctx, "INIファイル情報の取得", "データベースログインユーザ");
        return false;
    }
    const std::string stored = common::trimRight(fnGetScheduleIni(ctx, "(local)", "PASSWORD"));
    // A text that does not decipher (wrong key, damaged text) gives "": it is reported like a
    // missing password instead of trying a login with an empty one.
    password = stored.empty() ? std::string() : common::fnDecryptPassword(ctx.programDir, stored);
    if (password.empty()) {
        reportIniFailure(ctx, "INIファイル情報の取得", "データベースログインパスワード");
        return false;
    }
    return true;
}

bool fnOpenDbFromIni(ProgramContext& ctx, const std::filesystem::path& file, std::string_view user,
                     std::string_view password) {
    const std::string server = data::fnReadIniValue("DATABASE", "SERVER_NAME", "", file, &ctx.ui);
    const std::string database = data::fnReadIniValue("DATABASE", "DB_NAME", "", file, &ctx.ui);
    ctx.database = std::make_shared<data::QRCDBS_DataBase>(ctx.dataEnv());
    return ctx.database->fnOpen(server, database, user, password, 1);
}

bool fnGetDbObject(ProgramContext& ctx) {
    if (fnGetScheduleIniPath(ctx).empty()) {
        reportIniFailure(ctx, "INIファイルパスの取得", kScheduleIniName);
        return false;
    }
    std::string user, password;
    if (!fnGetDbLogin(ctx, user, password))
        return false;
    const auto zuzor = fnGetZuzorIniPath(ctx);
    if (zuzor.empty()) {
        common::wipe(password);
        reportIniFailure(ctx, "INIファイルパスの取得", kZuzorIniName);
        return false;
    }
    const bool opened = fnOpenDbFromIni(ctx, zuzor, user, password);
    if (opened) {
        ctx.dbUser = user;
        common::wipe(ctx.dbPassword);
        ctx.dbPassword = password;
    }
    common::wipe(password);
    return opened;
}

} // namespace scheduler
