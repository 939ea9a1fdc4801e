#pragma once
// The product database: the login from MSDE_DBTOOL.INI [(local)], the server and database from
// ZUZOR.INI [DATABASE], and the one program-wide connection object in the context.

#include "scheduler/context.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace scheduler {

// Why the product connection could not be had. None of these functions shows anything: the
// caller that owns the failure reports it, with reportDbObjectFailure for the settings' part.
enum class DbObjectFailure {
    None,
    ScheduleIniMissing, // no MSDE_DBTOOL.INI path
    UserMissing,        // [(local)] USER_NAME
    PasswordMissing,    // [(local)] PASSWORD, missing or not deciphered
    ZuzorIniMissing,    // no ZUZOR.INI path
    OpenFailed,         // the server could not be reached or refused the login
};

struct DbObjectResult {
    DbObjectFailure failure = DbObjectFailure::None;
    explicit operator bool() const { return failure == DbObjectFailure::None; }
};

// Message 3001 naming what is missing from the settings; nothing for OpenFailed and None, whose
// wording is each caller's.
void reportDbObjectFailure(platform::UiSink& ui, DbObjectFailure failure);

// USER_NAME and the deciphered PASSWORD of [(local)]; UserMissing or PasswordMissing when either
// is missing, or when a stored password cannot be deciphered.
DbObjectFailure fnGetDbLogin(const ProgramContext& ctx, std::string& user, std::string& password);

// Replaces ctx.database with a new connection object and logs in with the server and database
// named in `file`; true when connected.
bool fnOpenDbFromIni(ProgramContext& ctx, const std::filesystem::path& file, std::string_view user,
                     std::string_view password);

// Opens the program-wide connection; on success keeps the login in ctx.dbUser/ctx.dbPassword.
DbObjectResult fnGetDbObject(ProgramContext& ctx);

} // namespace scheduler
