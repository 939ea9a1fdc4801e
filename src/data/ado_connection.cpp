#include "data/ado_connection.h"

#include "common/password.h"
#include "data/connection.h"

namespace data {
namespace {

constexpr std::string_view kClosedText = "Operation is not allowed when the object is closed.";
// The texts of a login that cannot even be tried; they never repeat a value: one is the password.
constexpr std::string_view kUnusableServer =
    "The connection string cannot be used: a provider for SQL Server and a valid Data Source are needed.";
constexpr std::string_view kUnusableValue =
    "A value of the connection string holds \"};\", which the ODBC driver cannot be given.";

} // namespace

struct AdoConnection::Impl {
    DataEnv env;
    Connection connection;
    std::string openError; // the description of the last failed Open
};

AdoConnection::AdoConnection(DataEnv env) : impl_(std::make_unique<Impl>()) {
    impl_->env = std::move(env);
}

AdoConnection::~AdoConnection() = default;

AdoResult AdoConnection::Open(std::string_view server, std::string_view userId, std::string_view password) {
    Close();
    auto target = loginTarget(impl_->env.odbcDriver, server, "", userId, password);
    if (!target) {
        impl_->openError = kUnusableServer;
        return {false, impl_->openError};
    }
    const LibStatus status = impl_->connection.open(*target, impl_->env.loginTimeoutSeconds);
    common::wipe(target->password);
    if (status == libstatus::kBadArgument)
        impl_->openError = kUnusableValue;
    else if (status != libstatus::kOk)
        impl_->openError = impl_->connection.lastErrorText();
    else
        impl_->openError.clear();
    return {status == libstatus::kOk, impl_->openError};
}

bool AdoConnection::IsOpen() const {
    return impl_->connection.isOpen();
}

std::int32_t AdoConnection::CommandTimeout() const {
    return impl_->connection.commandTimeout();
}

void AdoConnection::CommandTimeout(std::int32_t seconds) {
    impl_->connection.setCommandTimeout(seconds);
}

AdoResult AdoConnection::Execute(std::string_view sql) {
    if (!impl_->connection.isOpen())
        return {false, impl_->openError.empty() ? std::string(kClosedText) : impl_->openError};
    AdoResult result;
    result.ok = impl_->connection.execute(sql, result.recordsAffected) == libstatus::kOk;
    if (!result.ok)
        result.description = impl_->connection.lastErrorText();
    return result;
}

void AdoConnection::Close() {
    impl_->connection.close();
}

} // namespace data
