#pragma once
// The data-access library: database and recordset objects behind 32-bit handles (0 = none) and
// calls that return a 16-bit status (0 = success). It runs over ODBC; result sets are read whole
// when they are opened, so every cursor movement works whatever cursor type the caller asks for.
//
// The handle table is shared by the whole process and guarded by a mutex; handles are never
// reused within a run, so a stale handle finds nothing instead of someone else's object.

#include "data/data_env.h"
#include "data/variant.h"

#include <cstdint>
#include <string_view>

namespace data {

using LibStatus = std::int16_t;

namespace libstatus {
inline constexpr LibStatus kOk = 0;
inline constexpr LibStatus kInvalidHandle = 1; // no such object (never opened, or closed)
inline constexpr LibStatus kFailed = 2;        // the driver or the server refused; see the error text
inline constexpr LibStatus kNotSupported = 3;  // an operation or argument this library does not offer
inline constexpr LibStatus kNoCurrentRow = 4;  // a move beyond BOF/EOF, or a move on an empty result
inline constexpr LibStatus kBadArgument = 5;   // a server name or connection string that cannot be used
} // namespace libstatus

// The provider codes fnVIRedAZExt_ExecuteEx reports.
namespace hresult {
inline constexpr std::int32_t kErrorsInCommand = std::int32_t(0x80040E14); // the server refused the statement
inline constexpr std::int32_t kTimeout = std::int32_t(0x80040E31);         // the query timeout expired
inline constexpr std::int32_t kClosed = std::int32_t(0x800A0E78);          // no open connection
inline constexpr std::int32_t kFail = std::int32_t(0x80004005);            // any other failure
} // namespace hresult

// Statements of this library time out after this many seconds (the usual command timeout).
inline constexpr int kCommandTimeoutSeconds = 30;

// Logs in to a SQL Server ("host", "host,port", "host\instance") through env.odbcDriver.
// databaseType must be 1 (SQL Server). The environment's sink shows the messages of
// fnVIRedAZExt_ExecuteEx.
LibStatus fnVIRedAZExt_LoginToDatabase(const DataEnv& env, std::int32_t databaseType, std::string_view server,
                                       std::string_view user, std::string_view password, std::string_view database,
                                       std::int32_t& databaseHandle);
// Opens a connection from an ODBC connection string, or from an OLE DB string of the SQL Server
// providers ("Provider=SQLOLEDB.1;...").
LibStatus fnVIRedAZExt_CreateOpen(const DataEnv& env, std::string_view connectionString, std::int32_t& databaseHandle);
// Bit 0 set = open. Kind 1 asks about a database handle; kind 2 about a recordset handle, or,
// given a database handle, whether recordsets can be opened on it.
std::int32_t fnVIRedAZExt_GetState(std::int32_t objectKind, std::int32_t handle);
LibStatus fnVIRedAZExt_DatabaseClose(std::int32_t databaseHandle);

LibStatus fnVIRedAZExt_Execute(std::string_view sql, std::int32_t databaseHandle, std::int32_t& affected);
// On failure errorCode receives one of the hresult codes; with showMessage non-zero and a code
// other than silentCode, the error text is shown in a message box (critical icon).
LibStatus fnVIRedAZExt_ExecuteEx(std::string_view sql, std::int32_t databaseHandle, std::int32_t& affected,
                                 std::int32_t& errorCode, std::int32_t showMessage, std::int32_t silentCode);
LibStatus fnVIRedAZExt_BeginTrans(std::int32_t databaseHandle);
LibStatus fnVIRedAZExt_CommitTrans(std::int32_t databaseHandle);
LibStatus fnVIRedAZExt_RollbackTrans(std::int32_t databaseHandle);

// Cursor type, lock type and options are accepted and have no effect: every result set is read
// into memory and can be moved through in both directions.
LibStatus fnVIRedAZExt_Open(std::string_view sql, std::int32_t databaseHandle, std::int32_t& recordsetHandle,
                            std::int32_t cursorType, std::int32_t lockType, std::int32_t options);
LibStatus fnVIRedAZExt_Close(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_Requery(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_MoveFirst(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_MoveLast(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_MoveNext(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_MovePrevious(std::int32_t databaseHandle, std::int32_t recordsetHandle);
// Editing through a recordset is not offered (the result sets are read-only copies): these
// return kNotSupported. Changes go through fnVIRedAZExt_Execute.
LibStatus fnVIRedAZExt_AddNew(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_Update(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_Delete(std::int32_t databaseHandle, std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_SetVariantData(const FieldRef& field, const Variant& value, std::int32_t databaseHandle,
                                      std::int32_t recordsetHandle);
LibStatus fnVIRedAZExt_SetVariantData2(const FieldRef& field, const Variant& value, std::int32_t databaseHandle,
                                       std::int32_t recordsetHandle);

std::int32_t fnVIRedAZExt_GetRecordCount(std::int32_t databaseHandle, std::int32_t recordsetHandle);
// Non-zero (-1) = before the first / after the last row; also for an unknown handle.
std::int32_t fnVIRedAZExt_GetBOF(std::int32_t databaseHandle, std::int32_t recordsetHandle);
std::int32_t fnVIRedAZExt_GetEOF(std::int32_t databaseHandle, std::int32_t recordsetHandle);
// The field of the current row: Null for SQL NULL; Empty when there is no current row, no such
// field or no such recordset. Names match without regard to ASCII case.
Variant fnVIRedAZExt_GetVariantData(const FieldRef& field, std::int32_t databaseHandle, std::int32_t recordsetHandle);
// As above, converted to the wanted variant type (VarType numbering; 0 = as it is).
Variant fnVIRedAZExt_GetVariantData2(const FieldRef& field, std::int32_t databaseHandle, std::int32_t recordsetHandle,
                                     std::int32_t wantedType);

// The text of the last failure on a database handle ("" when the last call went through).
std::string fnVIRedAZExt_LastErrorText(std::int32_t databaseHandle);

} // namespace data
