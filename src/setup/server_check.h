#pragma once
// The server as a set-up meets it: a login with the answers given, the user databases to choose
// from (the program's own catalogue query) and whether the backup procedure is there. Unlike the
// program's connection it keeps the driver's and the server's words for a failure: the person at
// the terminal can act on "Login failed for user 'x'." where a run only says that it failed.

#include "data/connection.h"
#include "data/data_env.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

inline constexpr std::string_view kProcedureQuery = "SELECT OBJECT_ID(N'master.dbo.SSP_BackUPDB') AS id";

class ServerCheck {
public:
    explicit ServerCheck(data::DataEnv env) : env_(std::move(env)) {}

    // Logs in to master; "" on success, else why not.
    std::string logIn(std::string_view server, std::string_view user, std::string_view password);
    // The server's user databases in its order; nullopt when they cannot be read (lastError()).
    std::optional<std::vector<std::string>> databases();
    // Whether this login sees master..SSP_BackUPDB: a server answers NULL both for a procedure
    // that is not there and for one the login may not run. nullopt when the query fails.
    std::optional<bool> backupProcedureFound();

    const std::string& lastError() const { return lastError_; }

private:
    std::optional<data::ResultTable> query(std::string_view sql);

    data::DataEnv env_;
    data::Connection connection_;
    std::string lastError_;
};

} // namespace setup
