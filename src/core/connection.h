#pragma once
// The product database: the login from MSDE_DBTOOL.INI [(local)], the server and database from
// ZUZOR.INI [DATABASE], opened into the session of the work that needs it.

#include "core/context.h"
#include "core/db_session.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace core {

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

// Replaces session.database with a new connection object and logs in with the server and
// database named in `file`; true when connected.
bool fnOpenDbFromIni(const ProgramContext& ctx, DbSession& session, const std::filesystem::path& file,
                     std::string_view user, std::string_view password);

// Opens the session's connection; on success keeps the login in session.user/session.password.
DbObjectResult fnGetDbObject(const ProgramContext& ctx, DbSession& session);

} // namespace core
