#include "setup/server_check.h"

#include "backup/db_list.h"
#include "common/password.h"

namespace setup {

std::string ServerCheck::logIn(std::string_view server, std::string_view user, std::string_view password) {
    connection_.close();
    auto target = data::loginTarget(env_.odbcDriver, server, "master", user, password);
    if (!target)
        return "the server name \"" + std::string(server) + "\" is no \"host\", \"host,port\" or \"host\\instance\"";
    const data::LibStatus status = connection_.open(*target, env_.loginTimeoutSeconds);
    common::wipe(target->password);
    if (status == data::libstatus::kOk)
        return {};
    if (status == data::libstatus::kBadArgument)
        return "the login or the password holds \"};\", which no ODBC connection string can carry";
    return connection_.lastErrorText().empty() ? "the login failed" : connection_.lastErrorText();
}

std::optional<data::ResultTable> ServerCheck::query(std::string_view sql) {
    data::ResultTable table;
    if (connection_.query(sql, table) != data::libstatus::kOk) {
        lastError_ = connection_.lastErrorText();
        return std::nullopt;
    }
    return table;
}

std::optional<std::vector<std::string>> ServerCheck::databases() {
    const auto table = query(backup::kDatabaseListQuery);
    if (!table)
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& row : table->rows)
        if (!row.empty())
            if (const auto* name = std::get_if<std::string>(&row.front()))
                names.push_back(*name);
    return names;
}

std::optional<bool> ServerCheck::backupProcedureFound() {
    const auto table = query(kProcedureQuery);
    if (!table)
        return std::nullopt;
    return !table->rows.empty() && !table->rows.front().empty() && !data::isNull(table->rows.front().front());
}

} // namespace setup
