#include "data/recordset.h"

#include "data/access_library.h"
#include "data/debug_log.h"
#include "data/variant_convert.h"

#include <cmath>
#include <limits>

namespace data {
namespace {

std::string fieldText(const FieldRef& field) {
    if (const int* i = std::get_if<int>(&field))
        return std::to_string(*i);
    return std::get<std::string>(field);
}

template <typename T> T integerOr(const Variant& v, T def) {
    const auto i = variantToInteger(v);
    if (!i || *i < std::numeric_limits<T>::min() || *i > std::numeric_limits<T>::max())
        return def;
    return T(*i);
}

std::string currencyText(std::int64_t scaled) {
    const bool negative = scaled < 0;
    const std::uint64_t magnitude = negative ? 0 - std::uint64_t(scaled) : std::uint64_t(scaled);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 10000);
    if (const auto fraction = magnitude % 10000; fraction != 0) {
        std::string digits = std::to_string(10000 + fraction).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text;
}

} // namespace

struct QRCDBS_RecordSet::Impl {
    explicit Impl(DataEnv e) : log(std::move(e)) {}

    bool open() const { return recordset != 0; }
    // The current value of a field; Empty without a recordset.
    Variant read(const FieldRef& field) const {
        return open() ? fnVIRedAZExt_GetVariantData(field, database, recordset) : Variant(Empty{});
    }
    // A getter's result joins the row's line of values, written at the next flush. The text is
    // only made when logging is on.
    template <typename MakeText> void note(MakeText makeText) {
        if (log.on())
            log.sbWriteDebugLog(std::string(makeText()) + "\t", false);
    }

    std::int32_t database = 0;
    std::int32_t recordset = 0;
    DebugLog log;
};

QRCDBS_RecordSet::QRCDBS_RecordSet(DataEnv env) : impl_(std::make_unique<Impl>(std::move(env))) {
    impl_->log.readOptions(zuzorIniPath(impl_->log.env()), kRecordsetLogDefault);
}

QRCDBS_RecordSet::~QRCDBS_RecordSet() {
    fnClose();
}

bool QRCDBS_RecordSet::fnOpen(std::string_view sql, std::int32_t databaseHandle, std::int32_t cursorType,
                              std::int32_t lockType, std::int32_t options) {
    auto& log = impl_->log;
    if (log.on()) {
        log.writeHeader();
        log.sbWriteDebugLog(sql, true);
        if (std::string columns; fnGetSelectColumns(sql, columns))
            log.sbWriteDebugLog(columns, true);
    }
    if (impl_->open())
        return true;
    std::int32_t handle = 0;
    const LibStatus status = fnVIRedAZExt_Open(sql, databaseHandle, handle, cursorType, lockType, options);
    if (status == 0 && handle != 0) {
        if ((fnVIRedAZExt_GetState(2, databaseHandle) & 1) == 0) {
            fnVIRedAZExt_Close(databaseHandle, handle);
            return false;
        }
        impl_->database = databaseHandle;
        impl_->recordset = handle;
        return true;
    }
    if (log.on())
        log.sbWriteDebugLog("レコードセットオープン失敗ステータス = " + std::to_string(status) +
                                " lRecordSet = " + std::to_string(handle),
                            true);
    return false;
}

bool QRCDBS_RecordSet::fnClose() {
    if (!impl_->open())
        return true;
    const LibStatus status = fnVIRedAZExt_Close(impl_->database, impl_->recordset);
    impl_->database = impl_->recordset = 0;
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("", true);
    return status == 0;
}

bool QRCDBS_RecordSet::fnRequery() {
    return impl_->open() && fnVIRedAZExt_Requery(impl_->database, impl_->recordset) == 0;
}

std::int32_t QRCDBS_RecordSet::plRecordCount() {
    return impl_->open() ? fnVIRedAZExt_GetRecordCount(impl_->database, impl_->recordset) : 0;
}

bool QRCDBS_RecordSet::pbBOF() {
    return !impl_->open() || fnVIRedAZExt_GetBOF(impl_->database, impl_->recordset) != 0;
}

bool QRCDBS_RecordSet::pbEOF() {
    return !impl_->open() || fnVIRedAZExt_GetEOF(impl_->database, impl_->recordset) != 0;
}

bool QRCDBS_RecordSet::fnMoveFirst() {
    return impl_->open() && fnVIRedAZExt_MoveFirst(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnMoveLast() {
    return impl_->open() && fnVIRedAZExt_MoveLast(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnMovePrevious() {
    return impl_->open() && fnVIRedAZExt_MovePrevious(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnMoveNext() {
    // Ends the line of values read from the row being left.
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("", true);
    return impl_->open() && fnVIRedAZExt_MoveNext(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnAddNew() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnAddNew", true);
    return impl_->open() && fnVIRedAZExt_AddNew(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnUpdate() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnUpdate", true);
    return impl_->open() && fnVIRedAZExt_Update(impl_->database, impl_->recordset) == 0;
}

bool QRCDBS_RecordSet::fnDelete() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnDelete", true);
    return impl_->open() && fnVIRedAZExt_Delete(impl_->database, impl_->recordset) == 0;
}

namespace {
// Field writes: refused without a recordset (and then not logged), logged after the attempt.
template <typename Setter>
bool setField(bool open, std::int32_t database, std::int32_t recordset, DebugLog& log, std::string_view label,
              const FieldRef& field, const Variant& value, Setter set) {
    if (!open)
        return false;
    const bool ok = set(field, value, database, recordset) == 0;
    if (log.on())
        log.sbWriteDebugLog(std::string(label) + fieldText(field) + " = " + variantText(value), true);
    return ok;
}
} // namespace

bool QRCDBS_RecordSet::fnSetVariant(const FieldRef& field, const Variant& value) {
    return setField(impl_->open(), impl_->database, impl_->recordset, impl_->log, "fnSetVariant:", field, value,
                    fnVIRedAZExt_SetVariantData);
}

bool QRCDBS_RecordSet::fnSetVariant2(const FieldRef& field, const Variant& value) {
    return setField(impl_->open(), impl_->database, impl_->recordset, impl_->log, "fnSetVariant:", field, value,
                    fnVIRedAZExt_SetVariantData2);
}

bool QRCDBS_RecordSet::fnSetBinary(const FieldRef& field, const Bytes& value) {
    return setField(impl_->open(), impl_->database, impl_->recordset, impl_->log, "fnSetBinary:", field, Variant(value),
                    fnVIRedAZExt_SetVariantData2);
}

Variant QRCDBS_RecordSet::fnGetVariant(const FieldRef& field) {
    const Variant v = impl_->read(field);
    impl_->note([&] { return variantText(v); });
    return v;
}

Variant QRCDBS_RecordSet::fnGetVariant2(const FieldRef& field, std::int32_t wantedType) {
    const Variant v = impl_->open() ? fnVIRedAZExt_GetVariantData2(field, impl_->database, impl_->recordset, wantedType)
                                    : Variant(Empty{});
    impl_->note([&] { return variantText(v); });
    return v;
}

std::string QRCDBS_RecordSet::fnGetChar(const FieldRef& field) {
    const std::string value = variantText(impl_->read(field));
    impl_->note([&] { return value; });
    return value;
}

std::uint8_t QRCDBS_RecordSet::fnGetTinyInt(const FieldRef& field) {
    const auto value = integerOr<std::uint8_t>(impl_->read(field), 0);
    impl_->note([&] { return std::to_string(value); });
    return value;
}

double QRCDBS_RecordSet::fnGetHdouble(const FieldRef& field) {
    const double value = variantToDouble(impl_->read(field)).value_or(0.0);
    impl_->note([&] { return variantText(value); });
    return value;
}

float QRCDBS_RecordSet::fnGetFloat(const FieldRef& field) {
    const double d = variantToDouble(impl_->read(field)).value_or(0.0);
    const float value = std::fabs(d) <= double(std::numeric_limits<float>::max()) ? float(d) : 0.0f;
    impl_->note([&] {
        char text[32];
        std::snprintf(text, sizeof text, "%.7G", double(value));
        return std::string(text);
    });
    return value;
}

std::int16_t QRCDBS_RecordSet::fnGetSmallInt(const FieldRef& field) {
    const auto value = integerOr<std::int16_t>(impl_->read(field), 0);
    impl_->note([&] { return std::to_string(value); });
    return value;
}

std::int32_t QRCDBS_RecordSet::fnGetInt(const FieldRef& field) {
    const auto value = integerOr<std::int32_t>(impl_->read(field), 0);
    impl_->note([&] { return std::to_string(value); });
    return value;
}

platform::LocalTime QRCDBS_RecordSet::fnGetDate(const FieldRef& field) {
    const auto value = variantToDate(impl_->read(field)).value_or(zeroDateTime());
    impl_->note([&] { return platform::formatDateTime(value); });
    return value;
}

std::int64_t QRCDBS_RecordSet::fnGetMoney(const FieldRef& field) {
    const auto value = variantToCurrency(impl_->read(field)).value_or(0);
    impl_->note([&] { return currencyText(value); });
    return value;
}

bool QRCDBS_RecordSet::fnGetBit(const FieldRef& field) {
    const bool value = variantToBit(impl_->read(field));
    impl_->note([&] { return value ? "True" : "False"; });
    return value;
}

std::int16_t QRCDBS_RecordSet::fnFileExists(std::string_view path) {
    return data::fnFileExists(std::string(path));
}

} // namespace data
