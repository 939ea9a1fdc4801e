#pragma once
// One stretch of work with the product database: the connection, the login it was opened with
// and the server's list of user databases. A due tick, a run, the settings dialog and the ending
// of a run on a signal each hold their own, so that no login outlives the work that made it.

#include "common/password.h"
#include "data/database.h"

#include <memory>
#include <string>
#include <vector>

namespace core {

class DbSession {
public:
    DbSession() = default;
    DbSession(const DbSession&) = delete;
    DbSession& operator=(const DbSession&) = delete;
    ~DbSession() { release(); }

    // Closes the connection; the password is wiped with it, as every later use logs in again.
    void release() {
        database.reset();
        common::wipe(password);
    }

    std::shared_ptr<data::QRCDBS_DataBase> database;
    std::string user, password;               // of the last successful fnGetDbObject
    std::vector<std::string> serverDatabases; // user databases, names only, in the server's order
};

} // namespace core
