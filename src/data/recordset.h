#pragma once
// QRCDBS_RecordSet: the rows of one query, with typed getters that turn SQL NULL into a fixed
// default. The rows are read whole when the query runs, so every cursor movement works whatever
// cursor type the caller asks for. Every operation reports by its return value; none throws.

#include "data/data_env.h"
#include "data/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace data {

class Connection;

class QRCDBS_RecordSet {
public:
    explicit QRCDBS_RecordSet(DataEnv env);
    ~QRCDBS_RecordSet();
    QRCDBS_RecordSet(const QRCDBS_RecordSet&) = delete;
    QRCDBS_RecordSet& operator=(const QRCDBS_RecordSet&) = delete;

    // Cursor type, lock type and options have no effect: the rows are a read-only copy that can be
    // moved through in both directions. The recordset keeps the connection for fnRequery.
    bool fnOpen(std::string_view sql, std::shared_ptr<Connection> connection, std::int32_t cursorType = 0,
                std::int32_t lockType = 1, std::int32_t options = -1);
    bool fnClose();
    bool fnRequery();
    std::int32_t plRecordCount();
    bool pbBOF();
    bool pbEOF();
    bool fnMoveFirst();
    bool fnMoveLast();
    bool fnMovePrevious();
    bool fnMoveNext();
    bool fnAddNew();
    bool fnUpdate();
    bool fnDelete();
    bool fnSetVariant(const FieldRef& field, const Variant& value);
    bool fnSetVariant2(const FieldRef& field, const Variant& value);
    bool fnSetBinary(const FieldRef& field, const Bytes& value);
    Variant fnGetVariant(const FieldRef& field);
    Variant fnGetVariant2(const FieldRef& field, std::int32_t wantedType = 0);
    std::string fnGetChar(const FieldRef& field);
    std::uint8_t fnGetTinyInt(const FieldRef& field);
    double fnGetHdouble(const FieldRef& field);
    float fnGetFloat(const FieldRef& field);
    std::int16_t fnGetSmallInt(const FieldRef& field);
    std::int32_t fnGetInt(const FieldRef& field);
    platform::LocalTime fnGetDate(const FieldRef& field);
    std::int64_t fnGetMoney(const FieldRef& field); // currency, scaled by 10000
    bool fnGetBit(const FieldRef& field);
    std::int16_t fnFileExists(std::string_view path);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "Day 0" of the date system: what fnGetDate gives for NULL.
platform::LocalTime zeroDateTime();

} // namespace data
