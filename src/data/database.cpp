#include "data/database.h"

#include "common/password.h"
#include "common/string_utils.h"
#include "data/change_marker.h"
#include "data/connection.h"
#include "data/connection_string.h"
#include "data/debug_log.h"

#include <algorithm>
#include <limits>

namespace data {
namespace {

std::int32_t clampToInt32(std::int64_t n) {
    return std::int32_t(std::clamp<std::int64_t>(n, -1, std::numeric_limits<std::int32_t>::max()));
}

} // namespace

struct QRCDBS_DataBase::Impl {
    explicit Impl(DataEnv e) : env(e), log(std::move(e)) {}

    bool connected() const { return connection && connection->isOpen(); }
    // Every statement goes to the debug log before anything else is checked.
    void logStatement(std::string_view sql) {
        if (log.on())
            log.sbWriteDebugLog(sql, true);
    }

    // Opened afresh at each login and shared with the recordsets read from it: a recordset that
    // outlives a close can still be read, but never requeries on a later login.
    DataEnv env;
    std::shared_ptr<Connection> connection;
    std::string server, database, user, password;
    DebugLog log;
};

QRCDBS_DataBase::QRCDBS_DataBase(DataEnv env) : impl_(std::make_unique<Impl>(std::move(env))) {
    gsIniPath = programIniPath(impl_->env).string();
    impl_->log.readOptions(zuzorIniPath(impl_->env), kDatabaseLogDefault);
}

QRCDBS_DataBase::~QRCDBS_DataBase() {
    fnClose();
}

const std::string& QRCDBS_DataBase::psServerName() const {
    return impl_->server;
}
const std::string& QRCDBS_DataBase::psDataBaseName() const {
    return impl_->database;
}
const std::string& QRCDBS_DataBase::psUserName() const {
    return impl_->user;
}
const std::string& QRCDBS_DataBase::psPassWord() const {
    return impl_->password;
}

bool QRCDBS_DataBase::fnOpen(std::string_view server, std::string_view database, std::string_view user,
                             std::string_view password, std::int32_t databaseType) {
    if (impl_->connected())
        return true;
    if (databaseType != 1)
        return false;
    auto target = loginTarget(impl_->env.odbcDriver, server, database, user, password);
    if (!target)
        return false;
    auto connection = std::make_shared<Connection>();
    const LibStatus status = connection->open(*target, impl_->env.loginTimeoutSeconds);
    common::wipe(target->password);
    if (status != libstatus::kOk || !connection->isOpen())
        return false;
    impl_->connection = std::move(connection);
    impl_->server = server;
    impl_->database = database;
    impl_->user = user;
    impl_->password = password;
    return true;
}

bool QRCDBS_DataBase::fnOpenEtc(std::string_view connectionString) {
    if (impl_->connected())
        return true;
    auto connection = std::make_shared<Connection>();
    LibStatus status = libstatus::kBadArgument;
    if (isOleDbString(connectionString)) {
        int loginTimeout = impl_->env.loginTimeoutSeconds;
        auto target = odbcTargetFromOleDb(connectionString, impl_->env.odbcDriver, loginTimeout);
        if (target) {
            status = connection->open(*target, loginTimeout);
            common::wipe(target->password);
        }
    } else {
        status = connection->open(std::string(connectionString), impl_->env.loginTimeoutSeconds);
    }
    if (status != libstatus::kOk)
        return false;
    impl_->connection = std::move(connection);
    return true;
}

bool QRCDBS_DataBase::fnOpenFromIni(std::string_view sIniPath, std::string_view sIniSection,
                                    std::string_view sIniServer, std::string_view sIniDataBase,
                                    std::string_view sIniUser, std::string_view sIniPassWord,
                                    std::int32_t lDataBaseType) {
    if (impl_->connected())
        return true;
    auto replace = [](std::string& field, std::string_view value) {
        if (!value.empty())
            field = value;
    };
    replace(gsIniPath, sIniPath);
    replace(gsIniSection, sIniSection);
    replace(gsIniServer, sIniServer);
    replace(gsIniDataBase, sIniDataBase);
    replace(gsIniUser, sIniUser);
    replace(gsIniPassWord, sIniPassWord);
    if (lDataBaseType > 0)
        glDataBaseType = lDataBaseType;

    const std::filesystem::path ini = gsIniPath;
    const std::string server = fnReadIniValue(gsIniSection, gsIniServer, "", ini, impl_->env.ui);
    const std::string database = fnReadIniValue(gsIniSection, gsIniDataBase, "", ini, impl_->env.ui);
    const std::string user = fnReadIniValue(gsIniSection, gsIniUser, "", ini, impl_->env.ui);
    const std::string stored = common::trimRight(fnReadIniValue(gsIniSection, gsIniPassWord, "", ini, impl_->env.ui));
    // The key that deciphers the password lives beside the settings file.
    const auto keyDir = ini.has_parent_path() ? ini.parent_path() : impl_->env.programDir;
    std::string password = common::fnDecryptPassword(keyDir, stored);
    const bool opened = fnOpen(server, database, user, password, glDataBaseType);
    common::wipe(password);
    return opened;
}

bool QRCDBS_DataBase::fnClose() {
    // The password property is kept for as long as the connection it opened.
    common::wipe(impl_->password);
    if (!impl_->connected())
        return true;
    impl_->connection->close();
    impl_->connection.reset();
    return true;
}

std::unique_ptr<QRCDBS_RecordSet> QRCDBS_DataBase::fnOpenRecordSet(std::string_view sql, std::int32_t cursorType,
                                                                   std::int32_t lockType, std::int32_t options) {
    if (!impl_->connected())
        return nullptr;
    auto rs = std::make_unique<QRCDBS_RecordSet>(impl_->env);
    if (!rs->fnOpen(sql, impl_->connection, cursorType, lockType, options))
        return nullptr;
    return rs;
}

bool QRCDBS_DataBase::fnExecute(std::string_view sql, std::int32_t* affected, std::int16_t* status) {
    std::int32_t count = 0;
    std::int16_t result = 0;
    if (affected)
        *affected = 0;
    if (status)
        *status = 0;
    impl_->logStatement(sql);
    if (!impl_->connected())
        return false;
    std::int64_t rows = -1;
    result = impl_->connection->execute(sql, rows);
    if (result == libstatus::kOk)
        count = clampToInt32(rows);
    if (affected)
        *affected = count;
    if (status)
        *status = result;
    if (result != 0)
        return false;
    sbSetChangeMarker(impl_->env, sql);
    return true;
}

bool QRCDBS_DataBase::fnExecuteEx(std::string_view sql, std::int32_t* affected, std::int32_t* errorCode,
                                  bool showMessage, std::int32_t silentCode) {
    std::int32_t count = 0, code = 0;
    if (affected)
        *affected = 0;
    if (errorCode)
        *errorCode = 0;
    impl_->logStatement(sql);
    if (!impl_->connected())
        return false;
    std::int64_t rows = -1;
    const LibStatus status = impl_->connection->execute(sql, rows);
    if (status == libstatus::kOk)
        count = clampToInt32(rows);
    else
        code = impl_->connection->lastErrorCode();
    if (affected)
        *affected = count;
    if (errorCode)
        *errorCode = code;
    if (status != libstatus::kOk && showMessage && code != silentCode && impl_->env.ui)
        impl_->env.ui->messageBox(impl_->connection->lastErrorText(), "", platform::MsgIcon::Critical);
    return status == libstatus::kOk;
}

std::int16_t QRCDBS_DataBase::fnBeginTrans() {
    // Without a connection no transaction begins, so the result must not read as success.
    if (!impl_->connected())
        return libstatus::kInvalidHandle;
    return impl_->connection->beginTransaction();
}

bool QRCDBS_DataBase::fnCommitTrans(std::optional<std::int16_t>) {
    return impl_->connected() && impl_->connection->endTransaction(true) == libstatus::kOk;
}

bool QRCDBS_DataBase::fnRollBackTrans(std::optional<std::int16_t>) {
    return impl_->connected() && impl_->connection->endTransaction(false) == libstatus::kOk;
}

bool QRCDBS_DataBase::fnOpenFile(std::string_view prefix, std::string_view path) {
    if (impl_->connected())
        return true;
    if (!fnFileExists(std::string(path)))
        return false;
    return fnOpenEtc(std::string(prefix) + std::string(path));
}

} // namespace data
