#pragma once
// AdoConnection: a connection of its own for statements that run long (the backup commands),
// shaped like the ADO connection object: Open with the login values, a command timeout, Execute
// and Close. It logs in through the program's ODBC driver and settings.

#include "data/data_env.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace data {

struct AdoResult {
    bool ok = false;
    // The error's description when not ok ("[FreeTDS][SQL Server]..."); never the password.
    std::string description;
    std::int64_t recordsAffected = -1;
};

class AdoConnection {
public:
    explicit AdoConnection(DataEnv env);
    ~AdoConnection();
    AdoConnection(const AdoConnection&) = delete;
    AdoConnection& operator=(const AdoConnection&) = delete;

    // Logs in to `server` ("host", "host,port", "host\instance") without choosing a database. A
    // failed open makes every Execute fail with its description.
    AdoResult Open(std::string_view server, std::string_view userId, std::string_view password);
    bool IsOpen() const;

    // Seconds a statement may run (0 = no limit); 30 until changed.
    std::int32_t CommandTimeout() const;
    void CommandTimeout(std::int32_t seconds);

    AdoResult Execute(std::string_view sql);
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace data
