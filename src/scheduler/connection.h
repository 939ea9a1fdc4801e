#pragma once
// The product database: the login from MSDE_DBTOOL.INI [(local)], the server and database from
// ZUZOR.INI [DATABASE], and the one program-wide connection object in the context.

#include "scheduler/context.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace scheduler {

// USER_NAME and the deciphered PASSWORD of [(local)]; message 3001 and false when either is
// missing, or when a stored password cannot be deciphered.
bool fnGetDbLogin(ProgramContext& ctx, std::string& user, std::string& password);

// Replaces ctx.database with a new connection object and logs in with the server and database
// named in `file`; true when connected.
bool fnOpenDbFromIni(ProgramContext& ctx, const std::filesystem::path& file, std::string_view user,
                     std::string_view password);

// Opens the program-wide connection; on success keeps the login in ctx.dbUser/ctx.dbPassword.
// A failed open gives false without a message of its own: the caller reports it.
bool fnGetDbObject(ProgramContext& ctx);

} // namespace scheduler
