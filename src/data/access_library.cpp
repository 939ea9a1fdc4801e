#include "data/access_library.h"

#include "common/password.h"
#include "data/connection_string.h"
#include "data/odbc_session.h"
#include "data/variant_convert.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

namespace data {
namespace {

using namespace libstatus;

struct DatabaseObject {
    std::mutex mutex; // one call at a time on the connection
    OdbcSession session;
    platform::UiSink* ui = nullptr;
    std::string lastError;
};

struct RecordsetObject {
    std::int32_t database = 0;
    std::string sql;
    ResultTable table;
    // Index of the current row: -1 before the first (BOF), rows.size() after the last (EOF).
    std::ptrdiff_t position = 0;

    std::ptrdiff_t rowCount() const { return std::ptrdiff_t(table.rows.size()); }
    bool bof() const { return rowCount() == 0 || position < 0; }
    bool eof() const { return rowCount() == 0 || position >= rowCount(); }
};

class HandleTable {
public:
    static HandleTable& instance() {
        // Never destroyed: connections still open at exit are not torn down while the ODBC
        // driver manager itself is being unloaded.
        static HandleTable* table = new HandleTable;
        return *table;
    }

    std::int32_t addDatabase(std::shared_ptr<DatabaseObject> db) {
        std::lock_guard lock(mutex_);
        const std::int32_t h = nextHandle();
        if (h != 0)
            databases_.emplace(h, std::move(db));
        return h;
    }
    std::shared_ptr<DatabaseObject> database(std::int32_t h) {
        std::lock_guard lock(mutex_);
        const auto it = databases_.find(h);
        return it == databases_.end() ? nullptr : it->second;
    }
    std::shared_ptr<DatabaseObject> removeDatabase(std::int32_t h) {
        std::lock_guard lock(mutex_);
        const auto it = databases_.find(h);
        if (it == databases_.end())
            return nullptr;
        auto db = std::move(it->second);
        databases_.erase(it);
        return db;
    }

    std::int32_t addRecordset(RecordsetObject rs) {
        std::lock_guard lock(mutex_);
        const std::int32_t h = nextHandle();
        if (h != 0)
            recordsets_.emplace(h, std::move(rs));
        return h;
    }
    bool hasRecordset(std::int32_t h) {
        std::lock_guard lock(mutex_);
        return recordsets_.count(h) != 0;
    }
    bool removeRecordset(std::int32_t db, std::int32_t h) {
        std::lock_guard lock(mutex_);
        const auto it = recordsets_.find(h);
        if (it == recordsets_.end() || it->second.database != db)
            return false;
        recordsets_.erase(it);
        return true;
    }
    // Calls f with the recordset (nullptr when the pair of handles names none) under the lock.
    template <typename F> auto withRecordset(std::int32_t db, std::int32_t h, F f) {
        std::lock_guard lock(mutex_);
        const auto it = recordsets_.find(h);
        return f(it == recordsets_.end() || it->second.database != db ? nullptr : &it->second);
    }

private:
    // Handles count up and are never given out twice; 0 once they run out.
    std::int32_t nextHandle() { return next_ == std::numeric_limits<std::int32_t>::max() ? 0 : next_++; }

    std::mutex mutex_;
    std::int32_t next_ = 1;
    std::map<std::int32_t, std::shared_ptr<DatabaseObject>> databases_;
    std::map<std::int32_t, RecordsetObject> recordsets_;
};

HandleTable& table() {
    return HandleTable::instance();
}

LibStatus connectWith(const DataEnv& env, const std::string& connectionString, int loginTimeout, std::string secret,
                      std::int32_t& handle) {
    auto db = std::make_shared<DatabaseObject>();
    db->ui = env.ui;
    if (!db->session.connect(connectionString, loginTimeout, std::move(secret)))
        return kFailed;
    handle = table().addDatabase(std::move(db));
    return handle != 0 ? kOk : kFailed;
}

std::int32_t clampToInt32(std::int64_t n) {
    return std::int32_t(std::clamp<std::int64_t>(n, -1, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t errorCodeOf(const OdbcError& e) {
    if (e.isTimeout())
        return hresult::kTimeout;
    if (e.isServerError())
        return hresult::kErrorsInCommand;
    return hresult::kFail;
}

std::optional<std::size_t> fieldIndex(const ResultTable& t, const FieldRef& field) {
    if (const int* i = std::get_if<int>(&field)) {
        if (*i < 0 || std::size_t(*i) >= t.columns.size())
            return std::nullopt;
        return std::size_t(*i);
    }
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');
        return s;
    };
    const std::string wanted = lower(std::get<std::string>(field));
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (lower(t.columns[i]) == wanted)
            return i;
    return std::nullopt;
}

// Runs f(rs) on the recordset; kInvalidHandle when the handles name none.
template <typename F> LibStatus onRecordset(std::int32_t db, std::int32_t rs, F f) {
    return table().withRecordset(db, rs, [&](RecordsetObject* r) { return r ? f(*r) : kInvalidHandle; });
}

} // namespace

LibStatus fnVIRedAZExt_LoginToDatabase(const DataEnv& env, std::int32_t databaseType, std::string_view server,
                                       std::string_view user, std::string_view password, std::string_view database,
                                       std::int32_t& databaseHandle) {
    databaseHandle = 0;
    if (databaseType != 1)
        return kNotSupported;
    const auto address = parseServerName(server);
    if (!address)
        return kBadArgument;
    OdbcTarget target{env.odbcDriver, *address, std::string(database), std::string(user), std::string(password)};
    auto connectionString = buildOdbcConnectionString(target);
    common::wipe(target.password);
    if (!connectionString)
        return kBadArgument;
    const LibStatus status =
        connectWith(env, *connectionString, env.loginTimeoutSeconds, std::string(password), databaseHandle);
    common::wipe(*connectionString);
    return status;
}

LibStatus fnVIRedAZExt_CreateOpen(const DataEnv& env, std::string_view connectionString, std::int32_t& databaseHandle) {
    databaseHandle = 0;
    const auto oleDb = parseOleDbString(connectionString);
    if (oleDb && oleDb->count("provider")) {
        int loginTimeout = env.loginTimeoutSeconds;
        auto target = odbcTargetFromOleDb(connectionString, env.odbcDriver, loginTimeout);
        auto odbc = target ? buildOdbcConnectionString(*target) : std::nullopt;
        if (!odbc)
            return kBadArgument;
        const LibStatus status = connectWith(env, *odbc, loginTimeout, std::move(target->password), databaseHandle);
        common::wipe(*odbc);
        return status;
    }
    std::string odbc(connectionString);
    const LibStatus status =
        connectWith(env, odbc, env.loginTimeoutSeconds, findOdbcValue(connectionString, "PWD"), databaseHandle);
    common::wipe(odbc);
    return status;
}

std::int32_t fnVIRedAZExt_GetState(std::int32_t objectKind, std::int32_t handle) {
    const auto connected = [&] {
        const auto db = table().database(handle);
        if (!db)
            return false;
        std::lock_guard lock(db->mutex);
        return db->session.connected();
    };
    switch (objectKind) {
    case 1:
        return connected() ? 1 : 0;
    case 2:
        // The recordset class asks with its database handle: recordsets can be opened and read
        // while the connection is open.
        return table().hasRecordset(handle) || connected() ? 1 : 0;
    default:
        return 0;
    }
}

LibStatus fnVIRedAZExt_DatabaseClose(std::int32_t databaseHandle) {
    const auto db = table().removeDatabase(databaseHandle);
    if (!db)
        return kInvalidHandle;
    std::lock_guard lock(db->mutex);
    db->session.disconnect();
    return kOk;
}

LibStatus fnVIRedAZExt_Execute(std::string_view sql, std::int32_t databaseHandle, std::int32_t& affected) {
    affected = 0;
    const auto db = table().database(databaseHandle);
    if (!db)
        return kInvalidHandle;
    std::lock_guard lock(db->mutex);
    std::int64_t count = -1;
    if (!db->session.execute(sql, kCommandTimeoutSeconds, count)) {
        db->lastError = db->session.lastError().text();
        return kFailed;
    }
    db->lastError.clear();
    affected = clampToInt32(count);
    return kOk;
}

LibStatus fnVIRedAZExt_ExecuteEx(std::string_view sql, std::int32_t databaseHandle, std::int32_t& affected,
                                 std::int32_t& errorCode, std::int32_t showMessage, std::int32_t silentCode) {
    affected = 0;
    errorCode = 0;
    const auto db = table().database(databaseHandle);
    if (!db) {
        errorCode = hresult::kClosed;
        return kInvalidHandle;
    }
    std::string text;
    platform::UiSink* ui = nullptr;
    {
        std::lock_guard lock(db->mutex);
        std::int64_t count = -1;
        if (db->session.execute(sql, kCommandTimeoutSeconds, count)) {
            db->lastError.clear();
            affected = clampToInt32(count);
            return kOk;
        }
        errorCode = errorCodeOf(db->session.lastError());
        text = db->lastError = db->session.lastError().text();
        ui = db->ui;
    }
    // The box is modal: show it without holding the connection.
    if (showMessage != 0 && errorCode != silentCode && ui)
        ui->messageBox(text, "", platform::MsgIcon::Critical);
    return kFailed;
}

LibStatus fnVIRedAZExt_BeginTrans(std::int32_t databaseHandle) {
    const auto db = table().database(databaseHandle);
    if (!db)
        return kInvalidHandle;
    std::lock_guard lock(db->mutex);
    const bool ok = db->session.beginTransaction();
    db->lastError = ok ? std::string() : db->session.lastError().text();
    return ok ? kOk : kFailed;
}

namespace {
LibStatus endTransaction(std::int32_t databaseHandle, bool commit) {
    const auto db = table().database(databaseHandle);
    if (!db)
        return kInvalidHandle;
    std::lock_guard lock(db->mutex);
    const bool ok = db->session.endTransaction(commit);
    db->lastError = ok ? std::string() : db->session.lastError().text();
    return ok ? kOk : kFailed;
}
} // namespace

LibStatus fnVIRedAZExt_CommitTrans(std::int32_t databaseHandle) {
    return endTransaction(databaseHandle, true);
}

LibStatus fnVIRedAZExt_RollbackTrans(std::int32_t databaseHandle) {
    return endTransaction(databaseHandle, false);
}

LibStatus fnVIRedAZExt_Open(std::string_view sql, std::int32_t databaseHandle, std::int32_t& recordsetHandle,
                            std::int32_t /*cursorType*/, std::int32_t /*lockType*/, std::int32_t /*options*/) {
    recordsetHandle = 0;
    const auto db = table().database(databaseHandle);
    if (!db)
        return kInvalidHandle;
    RecordsetObject rs{databaseHandle, std::string(sql), {}, 0};
    {
        std::lock_guard lock(db->mutex);
        if (!db->session.query(sql, kCommandTimeoutSeconds, rs.table)) {
            db->lastError = db->session.lastError().text();
            return kFailed;
        }
        db->lastError.clear();
    }
    recordsetHandle = table().addRecordset(std::move(rs));
    return recordsetHandle != 0 ? kOk : kFailed;
}

LibStatus fnVIRedAZExt_Close(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return table().removeRecordset(databaseHandle, recordsetHandle) ? kOk : kInvalidHandle;
}

LibStatus fnVIRedAZExt_Requery(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    std::string sql;
    if (const LibStatus s = onRecordset(databaseHandle, recordsetHandle,
                                        [&](RecordsetObject& r) {
                                            sql = r.sql;
                                            return kOk;
                                        });
        s != kOk)
        return s;
    const auto db = table().database(databaseHandle);
    if (!db)
        return kInvalidHandle;
    ResultTable fresh;
    {
        std::lock_guard lock(db->mutex);
        if (!db->session.query(sql, kCommandTimeoutSeconds, fresh)) {
            db->lastError = db->session.lastError().text();
            return kFailed;
        }
        db->lastError.clear();
    }
    return onRecordset(databaseHandle, recordsetHandle, [&](RecordsetObject& r) {
        r.table = std::move(fresh);
        r.position = 0;
        return kOk;
    });
}

LibStatus fnVIRedAZExt_MoveFirst(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return onRecordset(databaseHandle, recordsetHandle, [](RecordsetObject& r) {
        if (r.rowCount() == 0)
            return kNoCurrentRow;
        r.position = 0;
        return kOk;
    });
}

LibStatus fnVIRedAZExt_MoveLast(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return onRecordset(databaseHandle, recordsetHandle, [](RecordsetObject& r) {
        if (r.rowCount() == 0)
            return kNoCurrentRow;
        r.position = r.rowCount() - 1;
        return kOk;
    });
}

LibStatus fnVIRedAZExt_MoveNext(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return onRecordset(databaseHandle, recordsetHandle, [](RecordsetObject& r) {
        if (r.eof())
            return kNoCurrentRow;
        ++r.position;
        return kOk;
    });
}

LibStatus fnVIRedAZExt_MovePrevious(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return onRecordset(databaseHandle, recordsetHandle, [](RecordsetObject& r) {
        if (r.bof())
            return kNoCurrentRow;
        --r.position;
        return kOk;
    });
}

namespace {
// Result sets are copies read at open: there is no row on the server to change through them.
LibStatus notOffered(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return onRecordset(databaseHandle, recordsetHandle, [](RecordsetObject&) { return kNotSupported; });
}
} // namespace

LibStatus fnVIRedAZExt_AddNew(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return notOffered(databaseHandle, recordsetHandle);
}

LibStatus fnVIRedAZExt_Update(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return notOffered(databaseHandle, recordsetHandle);
}

LibStatus fnVIRedAZExt_Delete(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return notOffered(databaseHandle, recordsetHandle);
}

LibStatus fnVIRedAZExt_SetVariantData(const FieldRef&, const Variant&, std::int32_t databaseHandle,
                                      std::int32_t recordsetHandle) {
    return notOffered(databaseHandle, recordsetHandle);
}

LibStatus fnVIRedAZExt_SetVariantData2(const FieldRef&, const Variant&, std::int32_t databaseHandle,
                                       std::int32_t recordsetHandle) {
    return notOffered(databaseHandle, recordsetHandle);
}

std::int32_t fnVIRedAZExt_GetRecordCount(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return table().withRecordset(databaseHandle, recordsetHandle,
                                 [](RecordsetObject* r) { return r ? clampToInt32(std::int64_t(r->rowCount())) : 0; });
}

std::int32_t fnVIRedAZExt_GetBOF(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return table().withRecordset(databaseHandle, recordsetHandle,
                                 [](RecordsetObject* r) { return !r || r->bof() ? -1 : 0; });
}

std::int32_t fnVIRedAZExt_GetEOF(std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return table().withRecordset(databaseHandle, recordsetHandle,
                                 [](RecordsetObject* r) { return !r || r->eof() ? -1 : 0; });
}

Variant fnVIRedAZExt_GetVariantData(const FieldRef& field, std::int32_t databaseHandle, std::int32_t recordsetHandle) {
    return table().withRecordset(databaseHandle, recordsetHandle, [&](RecordsetObject* r) -> Variant {
        if (!r || r->bof() || r->eof())
            return Empty{};
        const auto index = fieldIndex(r->table, field);
        if (!index)
            return Empty{};
        return r->table.rows[std::size_t(r->position)][*index];
    });
}

Variant fnVIRedAZExt_GetVariantData2(const FieldRef& field, std::int32_t databaseHandle, std::int32_t recordsetHandle,
                                     std::int32_t wantedType) {
    return convertVariant(fnVIRedAZExt_GetVariantData(field, databaseHandle, recordsetHandle), wantedType);
}

std::string fnVIRedAZExt_LastErrorText(std::int32_t databaseHandle) {
    const auto db = table().database(databaseHandle);
    if (!db)
        return {};
    std::lock_guard lock(db->mutex);
    return db->lastError;
}

} // namespace data
