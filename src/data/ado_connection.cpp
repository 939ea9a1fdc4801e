#include "data/ado_connection.h"

#include "common/password.h"
#include "data/connection_string.h"
#include "data/odbc_session.h"

namespace data {
namespace {

constexpr std::string_view kClosedText = "Operation is not allowed when the object is closed.";

} // namespace

struct AdoConnection::Impl {
    DataEnv env;
    OdbcSession session;
    std::string openError; // the description of the last failed Open
};

AdoConnection::AdoConnection(DataEnv env) : impl_(std::make_unique<Impl>()) {
    impl_->env = std::move(env);
}

AdoConnection::~AdoConnection() = default;

AdoResult AdoConnection::Open() {
    Close();
    int loginTimeout = impl_->env.loginTimeoutSeconds;
    auto target = odbcTargetFromOleDb(ConnectionString, impl_->env.odbcDriver, loginTimeout);
    // Persist Security Info=False: the string gives up its password once it has been used.
    common::wipe(ConnectionString);
    // The texts never repeat the string: it holds the password.
    if (!target) {
        impl_->openError = "The connection string cannot be used: a provider for SQL Server and a valid Data "
                           "Source are needed.";
        return {false, impl_->openError};
    }
    auto odbc = buildOdbcConnectionString(*target);
    if (!odbc) {
        impl_->openError = "A value of the connection string holds \"};\", which the ODBC driver cannot be given.";
        return {false, impl_->openError};
    }
    const bool connected = impl_->session.connect(*odbc, loginTimeout, std::move(target->password));
    common::wipe(*odbc);
    if (!connected) {
        impl_->openError = impl_->session.lastError().text();
        return {false, impl_->openError};
    }
    impl_->openError.clear();
    return {true, {}};
}

bool AdoConnection::IsOpen() const {
    return impl_->session.connected();
}

AdoResult AdoConnection::Execute(std::string_view sql) {
    if (!impl_->session.connected())
        return {false, impl_->openError.empty() ? std::string(kClosedText) : impl_->openError};
    AdoResult result;
    result.ok = impl_->session.execute(sql, commandTimeout_, result.recordsAffected);
    if (!result.ok)
        result.description = impl_->session.lastError().text();
    return result;
}

void AdoConnection::Close() {
    impl_->session.disconnect();
}

} // namespace data
