#include "data/connection.h"

#include "common/password.h"

namespace data {
namespace {

using namespace libstatus;

std::int32_t errorCodeOf(const OdbcError& e) {
    if (e.isTimeout())
        return hresult::kTimeout;
    if (e.isServerError())
        return hresult::kErrorsInCommand;
    return hresult::kFail;
}

} // namespace

std::optional<OdbcTarget> loginTarget(std::string_view driver, std::string_view server, std::string_view database,
                                      std::string_view user, std::string_view password) {
    const auto address = parseServerName(server);
    if (!address)
        return std::nullopt;
    return OdbcTarget{std::string(driver), *address, std::string(database), std::string(user), std::string(password)};
}

LibStatus Connection::open(const OdbcTarget& target, int loginTimeoutSeconds) {
    auto odbc = buildOdbcConnectionString(target);
    if (!odbc) {
        close();
        return kBadArgument;
    }
    const bool connected = session_.connect(*odbc, loginTimeoutSeconds, target.password);
    common::wipe(*odbc);
    return finish(connected);
}

LibStatus Connection::open(std::string odbcConnectionString, int loginTimeoutSeconds) {
    const bool connected =
        session_.connect(odbcConnectionString, loginTimeoutSeconds, findOdbcValue(odbcConnectionString, "PWD"));
    common::wipe(odbcConnectionString);
    return finish(connected);
}

LibStatus Connection::execute(std::string_view sql, std::int64_t& affected) {
    affected = -1;
    if (!isOpen())
        return notOpen();
    return finish(session_.execute(sql, commandTimeout_, affected));
}

LibStatus Connection::query(std::string_view sql, ResultTable& table) {
    if (!isOpen())
        return notOpen();
    return finish(session_.query(sql, commandTimeout_, table));
}

LibStatus Connection::beginTransaction() {
    if (!isOpen())
        return notOpen();
    return finish(session_.beginTransaction());
}

LibStatus Connection::endTransaction(bool commit) {
    if (!isOpen())
        return notOpen();
    return finish(session_.endTransaction(commit));
}

LibStatus Connection::finish(bool ok) {
    if (ok) {
        lastErrorText_.clear();
        lastErrorCode_ = 0;
        return kOk;
    }
    lastErrorText_ = session_.lastError().text();
    lastErrorCode_ = errorCodeOf(session_.lastError());
    return kFailed;
}

// A closed connection runs nothing and leaves the text of its last failure as it was.
LibStatus Connection::notOpen() {
    lastErrorCode_ = hresult::kClosed;
    return kInvalidHandle;
}

} // namespace data
