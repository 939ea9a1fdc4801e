#pragma once
// AdoConnection: a connection of its own for statements that run long (the backup commands),
// shaped like the ADO connection object: an OLE DB connection string, Open, a command timeout,
// Execute and Close. The OLE DB string of the SQL Server providers is mapped onto the program's
// ODBC driver and settings.

#include "data/connection_string.h" // quoteOleDbValue
#include "data/data_env.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace data {

struct AdoResult {
    bool ok = false;
    // The error's description when not ok ("[FreeTDS][SQL Server]..."); never the connection string.
    std::string description;
    std::int64_t recordsAffected = -1;
};

class AdoConnection {
public:
    explicit AdoConnection(DataEnv env);
    ~AdoConnection();
    AdoConnection(const AdoConnection&) = delete;
    AdoConnection& operator=(const AdoConnection&) = delete;

    // "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=..;Password=..;Data Source=..;..."
    // Values holding ";" or quotes must be quoted (quoteOleDbValue).
    std::string ConnectionString;

    // Opens with ConnectionString. A failed open makes every Execute fail with its description.
    AdoResult Open();
    bool IsOpen() const;

    // Seconds a statement may run (0 = no limit); 30 until changed.
    std::int32_t CommandTimeout() const { return commandTimeout_; }
    void CommandTimeout(std::int32_t seconds) { commandTimeout_ = seconds; }

    AdoResult Execute(std::string_view sql);
    void Close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::int32_t commandTimeout_ = 30;
};

} // namespace data
