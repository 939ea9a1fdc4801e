#include "tds_tokens.h"

#include "datetime.h"
#include "decimal.h"
#include "utf.h"

#include <cstring>
#include <stdexcept>

namespace standin {
namespace {

constexpr std::uint8_t kTokenEnvChange = 0xE3;
constexpr std::uint8_t kTokenError = 0xAA;
constexpr std::uint8_t kTokenInfo = 0xAB;
constexpr std::uint8_t kTokenLoginAck = 0xAD;
constexpr std::uint8_t kTokenColMetadata = 0x81;
constexpr std::uint8_t kTokenRow = 0xD1;
constexpr std::uint8_t kTokenReturnStatus = 0x79;

constexpr std::uint8_t kTypeNVarChar = 0xE7;
constexpr std::uint8_t kTypeIntN = 0x26;
constexpr std::uint8_t kTypeBitN = 0x68;
constexpr std::uint8_t kTypeFltN = 0x6D;
constexpr std::uint8_t kTypeDateTimeN = 0x6F;
constexpr std::uint8_t kTypeVarBinary = 0xA5;
constexpr std::uint8_t kTypeNChar = 0xEF;
constexpr std::uint8_t kTypeDecimalN = 0x6A;
constexpr std::uint8_t kTypeDateTime2N = 0x2A;

// The bytes of a DECIMAL(p) value: a sign byte and a 4, 8, 12 or 16-byte magnitude.
std::uint8_t decimalBytes(int precision) {
    return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

constexpr std::uint16_t kMaxLength = 0xFFFF; // TYPE_INFO length of the MAX forms
constexpr std::uint64_t kPlpNull = ~std::uint64_t{0};
constexpr std::size_t kMaxMessageUnits = 2000; // keeps ERROR tokens well inside their u16 length

// The server name that messages carry.
constexpr const char* kServerName = "sqlserver-standin";

[[noreturn]] void mismatch(const Column& column) {
    throw std::logic_error("cell does not match the type of column '" + column.name + "'");
}

} // namespace

std::optional<TdsVersion> TdsVersion::fromLogin(std::uint32_t value) {
    switch (value) {
    case 0x70000000:
    case 0x71000000:
    case 0x71000001:
    case 0x72090002:
    case 0x730A0003:
    case 0x730B0003:
    case 0x74000004:
        return TdsVersion{value};
    default:
        // A newer client gets the newest version this server speaks.
        if (value > 0x74000004) {
            return TdsVersion{0x74000004};
        }
        return std::nullopt;
    }
}

int TdsVersion::level() const {
    switch (loginValue >> 24) {
    case 0x70:
        return 70;
    case 0x71:
        return 71;
    case 0x72:
        return 72;
    case 0x73:
        return 73;
    default:
        return 74;
    }
}

std::uint32_t TdsVersion::loginAckValue() const {
    // 7.0 and 7.1 acknowledge in the old "major, minor" form; later versions echo LOGIN7's value.
    switch (level()) {
    case 70:
        return 0x07000000;
    case 71:
        return 0x07010000;
    default:
        return loginValue;
    }
}

void TokenWriter::envStrings(std::uint8_t type, const std::string& newValue, const std::string& oldValue) {
    out_.u8(kTokenEnvChange);
    const std::size_t lengthAt = out_.size();
    out_.u16le(0);
    out_.u8(type);
    out_.bVarchar(newValue);
    out_.bVarchar(oldValue);
    out_.patchU16le(lengthAt, static_cast<std::uint16_t>(out_.size() - lengthAt - 2));
}

void TokenWriter::envDatabase(const std::string& newName, const std::string& oldName) {
    envStrings(1, newName, oldName);
}

void TokenWriter::envLanguage(const std::string& language) {
    envStrings(2, language, "");
}

void TokenWriter::envCollation(const Collation& collation) {
    const auto bytes = collation.tdsBytes();
    out_.u8(kTokenEnvChange);
    out_.u16le(8);
    out_.u8(7);
    out_.u8(static_cast<std::uint8_t>(bytes.size()));
    out_.raw(bytes.data(), bytes.size());
    out_.u8(0);
}

void TokenWriter::envPacketSize(std::uint32_t newSize, std::uint32_t oldSize) {
    envStrings(4, std::to_string(newSize), std::to_string(oldSize));
}

void TokenWriter::envTransaction(TransactionEvent event, std::uint64_t descriptor) {
    out_.u8(kTokenEnvChange);
    out_.u16le(11);
    out_.u8(static_cast<std::uint8_t>(event));
    if (event == TransactionEvent::Begin) {
        out_.u8(8);
        out_.u64le(descriptor);
        out_.u8(0);
    } else {
        out_.u8(0);
        out_.u8(8);
        out_.u64le(descriptor);
    }
}

void TokenWriter::message(const ServerMessage& message) {
    out_.u8(message.severity > 10 ? kTokenError : kTokenInfo);
    const std::size_t lengthAt = out_.size();
    out_.u16le(0);
    out_.u32le(static_cast<std::uint32_t>(message.number));
    out_.u8(message.state);
    out_.u8(message.severity);
    out_.usVarchar(prefixByUtf16Units(message.text, kMaxMessageUnits));
    out_.bVarchar(kServerName);
    out_.bVarchar(message.procedure);
    if (version_.wideFields()) {
        out_.u32le(static_cast<std::uint32_t>(message.line));
    } else {
        out_.u16le(static_cast<std::uint16_t>(message.line));
    }
    out_.patchU16le(lengthAt, static_cast<std::uint16_t>(out_.size() - lengthAt - 2));
}

void TokenWriter::loginAck(const std::string& program) {
    out_.u8(kTokenLoginAck);
    const std::size_t lengthAt = out_.size();
    out_.u16le(0);
    out_.u8(1); // SQL_TSQL: FreeTDS takes anything but 1 or 5 as a refused login
    const std::uint32_t ack = version_.loginAckValue();
    out_.u16be(static_cast<std::uint16_t>(ack >> 16));
    out_.u16be(static_cast<std::uint16_t>(ack));
    out_.bVarchar(program);
    const std::uint8_t serverVersion[4] = {16, 0, 0x0F, 0xA0};
    out_.raw(serverVersion, sizeof serverVersion);
    out_.patchU16le(lengthAt, static_cast<std::uint16_t>(out_.size() - lengthAt - 2));
}

void TokenWriter::typeInfo(const Column& column) {
    switch (column.type) {
    case SqlType::NVarChar:
        out_.u8(column.fixedLength && column.size > 0 ? kTypeNChar : kTypeNVarChar);
        out_.u16le(column.size == 0 ? kMaxLength : static_cast<std::uint16_t>(column.size * 2));
        if (version_.hasCollation()) {
            const auto collation = column.collation.tdsBytes();
            out_.raw(collation.data(), collation.size());
        }
        break;
    case SqlType::Decimal:
        out_.u8(kTypeDecimalN);
        out_.u8(decimalBytes(column.size));
        out_.u8(static_cast<std::uint8_t>(column.size));
        out_.u8(static_cast<std::uint8_t>(column.scale));
        break;
    case SqlType::DateTime2:
        if (!version_.hasDatetime2()) { // SQL Server sends DATETIME2 to older clients as text
            out_.u8(kTypeNVarChar);
            out_.u16le(2 * 27);
            if (version_.hasCollation()) {
                const auto collation = column.collation.tdsBytes();
                out_.raw(collation.data(), collation.size());
            }
            break;
        }
        out_.u8(kTypeDateTime2N);
        out_.u8(static_cast<std::uint8_t>(column.size));
        break;
    case SqlType::Int:
        out_.u8(kTypeIntN);
        out_.u8(static_cast<std::uint8_t>(column.size));
        break;
    case SqlType::Bit:
        out_.u8(kTypeBitN);
        out_.u8(1);
        break;
    case SqlType::Float:
        out_.u8(kTypeFltN);
        out_.u8(8);
        break;
    case SqlType::DateTime:
        out_.u8(kTypeDateTimeN);
        out_.u8(8);
        break;
    case SqlType::VarBinary:
        out_.u8(kTypeVarBinary);
        out_.u16le(column.size == 0 ? kMaxLength : static_cast<std::uint16_t>(column.size));
        break;
    }
}

void TokenWriter::colMetadata(const std::vector<Column>& columns) {
    out_.u8(kTokenColMetadata);
    out_.u16le(static_cast<std::uint16_t>(columns.size()));
    for (const Column& column : columns) {
        if (version_.wideFields()) {
            out_.u32le(0);
        } else {
            out_.u16le(0);
        }
        out_.u16le(0x0001); // nullable
        typeInfo(column);
        out_.bVarchar(column.name);
    }
}

void TokenWriter::plp(const std::vector<std::uint8_t>* data) {
    if (data == nullptr) {
        out_.u64le(kPlpNull);
        return;
    }
    out_.u64le(data->size());
    if (!data->empty()) {
        out_.u32le(static_cast<std::uint32_t>(data->size()));
        out_.raw(*data);
    }
    out_.u32le(0);
}

void TokenWriter::variableText(const Column& column, const Cell& cell) {
    const bool isNull = std::holds_alternative<std::monostate>(cell);
    std::vector<std::uint8_t> data;
    if (const auto* text = std::get_if<std::string>(&cell); text && column.type == SqlType::NVarChar) {
        data = toUtf16le(*text);
    } else if (const auto* blob = std::get_if<Blob>(&cell); blob && column.type == SqlType::VarBinary) {
        data.assign(blob->bytes.begin(), blob->bytes.end());
    } else if (!isNull) {
        mismatch(column);
    }
    if (column.size == 0) {
        plp(isNull ? nullptr : &data);
    } else if (isNull) {
        out_.u16le(0xFFFF);
    } else {
        out_.u16le(static_cast<std::uint16_t>(data.size()));
        out_.raw(data);
    }
}

void TokenWriter::decimalValue(const Column& column, const Cell& cell) {
    std::optional<DecimalValue> value;
    if (const auto* d = std::get_if<double>(&cell)) {
        value = decimalFromDouble(*d, column.scale);
    } else if (const auto* i = std::get_if<std::int64_t>(&cell)) {
        value = parseDecimal(std::to_string(*i), column.scale);
    } else {
        mismatch(column);
    }
    if (!value) {
        mismatch(column);
    }
    const std::uint8_t bytes = decimalBytes(column.size);
    out_.u8(bytes);
    out_.u8(value->negative ? 0 : 1);
    DecimalValue::Magnitude magnitude = value->scaled;
    for (int i = 1; i < bytes; ++i) {
        out_.u8(static_cast<std::uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
    }
}

void TokenWriter::datetime2Value(const Column& column, const Cell& cell) {
    const auto* v = std::get_if<DateTime2Value>(&cell);
    if (v == nullptr) {
        mismatch(column);
    }
    if (!version_.hasDatetime2()) {
        variableText(Column{column.name, SqlType::NVarChar, 27}, formatDatetime2(*v, column.size));
        return;
    }
    // The time in units of 10^-scale seconds (3, 4 or 5 bytes), then days since 0001-01-01 (3).
    std::uint64_t divisor = 1;
    for (int i = column.size; i < 7; ++i) {
        divisor *= 10;
    }
    const int timeBytes = column.size <= 2 ? 3 : column.size <= 4 ? 4 : 5;
    out_.u8(static_cast<std::uint8_t>(timeBytes + 3));
    const std::uint64_t time = v->units / divisor;
    for (int i = 0; i < timeBytes; ++i) {
        out_.u8(static_cast<std::uint8_t>(time >> (8 * i)));
    }
    for (int i = 0; i < 3; ++i) {
        out_.u8(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v->days) >> (8 * i)));
    }
}

void TokenWriter::value(const Column& column, const Cell& cell) {
    if (column.type == SqlType::NVarChar || column.type == SqlType::VarBinary) {
        variableText(column, cell);
        return;
    }
    if (column.type == SqlType::DateTime2 && !version_.hasDatetime2() && std::holds_alternative<std::monostate>(cell)) {
        out_.u16le(0xFFFF); // NULL text
        return;
    }
    if (std::holds_alternative<std::monostate>(cell)) {
        out_.u8(0);
        return;
    }
    if (column.type == SqlType::Decimal) {
        decimalValue(column, cell);
    } else if (column.type == SqlType::DateTime2) {
        datetime2Value(column, cell);
    } else if (column.type == SqlType::Float) {
        const auto* v = std::get_if<double>(&cell);
        if (v == nullptr) {
            mismatch(column);
        }
        std::uint64_t bits = 0;
        std::memcpy(&bits, v, sizeof bits);
        out_.u8(8);
        out_.u64le(bits);
    } else if (column.type == SqlType::DateTime) {
        const auto* v = std::get_if<DateTimeValue>(&cell);
        if (v == nullptr) {
            mismatch(column);
        }
        out_.u8(8);
        out_.u32le(static_cast<std::uint32_t>(v->days));
        out_.u32le(v->ticks);
    } else {
        const auto* v = std::get_if<std::int64_t>(&cell);
        if (v == nullptr) {
            mismatch(column);
        }
        const int width = column.type == SqlType::Bit ? 1 : column.size;
        out_.u8(static_cast<std::uint8_t>(width));
        for (int i = 0; i < width; ++i) {
            out_.u8(static_cast<std::uint8_t>(static_cast<std::uint64_t>(*v) >> (8 * i)));
        }
    }
}

void TokenWriter::row(const std::vector<Column>& columns, const Row& row) {
    out_.u8(kTokenRow);
    for (std::size_t i = 0; i < columns.size(); ++i) {
        value(columns[i], row.at(i));
    }
}

void TokenWriter::resultSet(const ResultSet& result) {
    colMetadata(result.columns);
    for (const Row& r : result.rows) {
        row(result.columns, r);
    }
}

void TokenWriter::returnStatus(std::int32_t value) {
    out_.u8(kTokenReturnStatus);
    out_.u32le(static_cast<std::uint32_t>(value));
}

void TokenWriter::done(const Done& done) {
    out_.u8(static_cast<std::uint8_t>(done.token));
    out_.u16le(done.status);
    out_.u16le(done.command);
    if (version_.wideFields()) {
        out_.u64le(done.count);
    } else {
        out_.u32le(static_cast<std::uint32_t>(done.count));
    }
}

void TokenWriter::item(const ReplyItem& item) {
    std::visit(
        [this](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, DatabaseChange>) {
                envDatabase(v.newName, v.oldName);
                if (version_.hasCollation()) {
                    envCollation(v.collation);
                }
            } else if constexpr (std::is_same_v<T, TransactionChange>) {
                envTransaction(v.event, v.descriptor);
            } else if constexpr (std::is_same_v<T, ServerMessage>) {
                message(v);
            } else if constexpr (std::is_same_v<T, ResultSet>) {
                resultSet(v);
            } else if constexpr (std::is_same_v<T, ReturnStatus>) {
                returnStatus(v.value);
            } else {
                done(v);
            }
        },
        item);
}

} // namespace standin
