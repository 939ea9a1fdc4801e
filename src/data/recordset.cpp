#include "data/recordset.h"

#include "data/connection.h"
#include "data/debug_log.h"
#include "data/variant_convert.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

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

} // namespace

struct QRCDBS_RecordSet::Impl {
    explicit Impl(DataEnv e) : log(std::move(e)) {}

    bool open() const { return connection != nullptr; }
    std::ptrdiff_t rowCount() const { return std::ptrdiff_t(table.rows.size()); }
    bool bof() const { return rowCount() == 0 || position < 0; }
    bool eof() const { return rowCount() == 0 || position >= rowCount(); }
    // The current value of a field: Null for SQL NULL; Empty without a recordset, without a
    // current row or without such a field. Names match without regard to ASCII case.
    Variant read(const FieldRef& field) const {
        if (!open() || bof() || eof())
            return Empty{};
        const auto index = fieldIndex(table, field);
        return index ? table.rows[std::size_t(position)][*index] : Variant(Empty{});
    }
    // Moves to `to` when the recordset has a row there or just beyond either end.
    bool moveTo(std::ptrdiff_t to) {
        if (!open() || rowCount() == 0 || to < -1 || to > rowCount())
            return false;
        position = to;
        return true;
    }
    // A getter's result joins the row's line of values, written at the next flush. The text is
    // only made when logging is on.
    template <typename MakeText> void note(MakeText makeText) {
        if (log.on())
            log.sbWriteDebugLog(std::string(makeText()) + "\t", false);
    }

    std::shared_ptr<Connection> connection; // set while open
    std::string sql;
    ResultTable table;
    // Index of the current row: -1 before the first (BOF), rows.size() after the last (EOF).
    std::ptrdiff_t position = 0;
    DebugLog log;
};

QRCDBS_RecordSet::QRCDBS_RecordSet(DataEnv env) : impl_(std::make_unique<Impl>(std::move(env))) {
    impl_->log.readOptions(zuzorIniPath(impl_->log.env()), kRecordsetLogDefault);
}

QRCDBS_RecordSet::~QRCDBS_RecordSet() {
    fnClose();
}

bool QRCDBS_RecordSet::fnOpen(std::string_view sql, std::shared_ptr<Connection> connection, std::int32_t, std::int32_t,
                              std::int32_t) {
    auto& log = impl_->log;
    if (log.on()) {
        log.writeHeader();
        log.sbWriteDebugLog(sql, true);
        if (std::string columns; fnGetSelectColumns(sql, columns))
            log.sbWriteDebugLog(columns, true);
    }
    if (impl_->open())
        return true;
    ResultTable table;
    const LibStatus status = connection ? connection->query(sql, table) : libstatus::kInvalidHandle;
    if (status == libstatus::kOk) {
        impl_->connection = std::move(connection);
        impl_->sql = sql;
        impl_->table = std::move(table);
        impl_->position = 0;
        return true;
    }
    // No recordset came of it: its number in the line is 0.
    if (log.on())
        log.sbWriteDebugLog("レコードセットオープン失敗ステータス = " + std::to_string(status) + " lRecordSet = 0",
                            true);
    return false;
}

bool QRCDBS_RecordSet::fnClose() {
    if (!impl_->open())
        return true;
    impl_->connection.reset();
    impl_->table = {};
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("", true);
    return true;
}

bool QRCDBS_RecordSet::fnRequery() {
    ResultTable fresh;
    if (!impl_->open() || impl_->connection->query(impl_->sql, fresh) != libstatus::kOk)
        return false;
    impl_->table = std::move(fresh);
    impl_->position = 0;
    return true;
}

std::int32_t QRCDBS_RecordSet::plRecordCount() {
    return std::int32_t(std::min<std::ptrdiff_t>(impl_->rowCount(), std::numeric_limits<std::int32_t>::max()));
}

bool QRCDBS_RecordSet::pbBOF() {
    return !impl_->open() || impl_->bof();
}

bool QRCDBS_RecordSet::pbEOF() {
    return !impl_->open() || impl_->eof();
}

bool QRCDBS_RecordSet::fnMoveFirst() {
    return impl_->rowCount() > 0 && impl_->moveTo(0);
}

bool QRCDBS_RecordSet::fnMoveLast() {
    return impl_->moveTo(impl_->rowCount() - 1);
}

bool QRCDBS_RecordSet::fnMovePrevious() {
    return !impl_->bof() && impl_->moveTo(impl_->position - 1);
}

bool QRCDBS_RecordSet::fnMoveNext() {
    // Ends the line of values read from the row being left.
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("", true);
    return !impl_->eof() && impl_->moveTo(impl_->position + 1);
}

// The rows are a copy read at open: there is no row on the server to change through them, so
// the edits are logged and refused. Changes go through QRCDBS_DataBase::fnExecute.
bool QRCDBS_RecordSet::fnAddNew() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnAddNew", true);
    return false;
}

bool QRCDBS_RecordSet::fnUpdate() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnUpdate", true);
    return false;
}

bool QRCDBS_RecordSet::fnDelete() {
    if (impl_->log.on())
        impl_->log.sbWriteDebugLog("fnDelete", true);
    return false;
}

namespace {
// Field writes are refused; with a recordset open the attempt is logged.
bool refuseWrite(bool open, DebugLog& log, std::string_view label, const FieldRef& field, const Variant& value) {
    if (open && log.on())
        log.sbWriteDebugLog(std::string(label) + fieldText(field) + " = " + variantText(value), true);
    return false;
}
} // namespace

bool QRCDBS_RecordSet::fnSetVariant(const FieldRef& field, const Variant& value) {
    return refuseWrite(impl_->open(), impl_->log, "fnSetVariant:", field, value);
}

bool QRCDBS_RecordSet::fnSetVariant2(const FieldRef& field, const Variant& value) {
    return refuseWrite(impl_->open(), impl_->log, "fnSetVariant:", field, value);
}

bool QRCDBS_RecordSet::fnSetBinary(const FieldRef& field, const Bytes& value) {
    return refuseWrite(impl_->open(), impl_->log, "fnSetBinary:", field, Variant(value));
}

Variant QRCDBS_RecordSet::fnGetVariant(const FieldRef& field) {
    const Variant v = impl_->read(field);
    impl_->note([&] { return variantText(v); });
    return v;
}

Variant QRCDBS_RecordSet::fnGetVariant2(const FieldRef& field, std::int32_t wantedType) {
    const Variant v = impl_->open() ? convertVariant(impl_->read(field), wantedType) : Variant(Empty{});
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
