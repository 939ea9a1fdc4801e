#include "tds_login.h"

#include "bytes.h"

namespace standin {
namespace {

// Offsets of the (offset, length) pairs in LOGIN7's fixed part.
constexpr std::size_t kHostPair = 36;
constexpr std::size_t kUserPair = 40;
constexpr std::size_t kPasswordPair = 44;
constexpr std::size_t kAppPair = 48;
constexpr std::size_t kDatabasePair = 68;
constexpr std::size_t kMinimumFixedPart = 86; // the TDS 7.0 fixed part, shortest of all

std::string textField(const ByteReader& reader, std::size_t pairAt) {
    ByteReader pair = reader;
    pair.seek(pairAt);
    const std::uint16_t offset = pair.u16le();
    const std::uint16_t units = pair.u16le();
    return reader.utf16At(offset, units);
}

// Clients scramble the password: each byte's nibbles swapped, then XOR A5.
std::string passwordField(const std::vector<std::uint8_t>& payload) {
    ByteReader pair(payload);
    pair.seek(kPasswordPair);
    const std::size_t offset = pair.u16le();
    const std::size_t units = pair.u16le();
    if (offset > payload.size() || units * 2 > payload.size() - offset) {
        throw ProtocolError("password field beyond the end of LOGIN7");
    }
    std::vector<std::uint8_t> plain(payload.begin() + static_cast<std::ptrdiff_t>(offset),
                                    payload.begin() + static_cast<std::ptrdiff_t>(offset + units * 2));
    for (std::uint8_t& b : plain) {
        b ^= 0xA5;
        b = static_cast<std::uint8_t>(((b << 4) | (b >> 4)) & 0xFF);
    }
    return ByteReader(plain).utf16At(0, units);
}

} // namespace

Login7 parseLogin7(const std::vector<std::uint8_t>& payload) {
    ByteReader reader(payload);
    if (payload.size() < kMinimumFixedPart) {
        throw ProtocolError("LOGIN7 shorter than its fixed part");
    }
    const std::uint32_t length = reader.u32le();
    if (length > payload.size()) {
        throw ProtocolError("LOGIN7 length field larger than the message");
    }
    const auto version = TdsVersion::fromLogin(reader.u32le());
    if (!version) {
        throw ProtocolError("unsupported TDS version in LOGIN7");
    }
    Login7 login;
    login.version = *version;
    login.packetSize = reader.u32le();
    login.host = textField(reader, kHostPair);
    login.user = textField(reader, kUserPair);
    login.password = passwordField(payload);
    login.application = textField(reader, kAppPair);
    login.database = textField(reader, kDatabasePair);
    return login;
}

std::uint8_t clientEncryption(const std::vector<std::uint8_t>& payload) {
    constexpr std::uint8_t kOptionEncryption = 0x01;
    constexpr std::uint8_t kTerminator = 0xFF;
    ByteReader table(payload);
    for (;;) {
        const std::uint8_t option = table.u8();
        if (option == kTerminator) {
            return kEncryptNotSupported;
        }
        const std::size_t offset = (std::size_t{table.u8()} << 8) | table.u8();
        const std::size_t length = (std::size_t{table.u8()} << 8) | table.u8();
        if (option == kOptionEncryption && length >= 1) {
            if (offset >= payload.size()) {
                throw ProtocolError("PRELOGIN ENCRYPTION beyond the end of the message");
            }
            const std::uint8_t value = payload[offset] & 0x7F; // 0x80: the client has a certificate
            return value <= kEncryptRequired ? value : kEncryptNotSupported;
        }
    }
}

std::uint8_t negotiateEncryption(std::uint8_t client, EncryptionMode mode) {
    const bool clientCan = client != kEncryptNotSupported;
    switch (mode) {
    case EncryptionMode::Off:
        return kEncryptNotSupported;
    case EncryptionMode::Login:
        return !clientCan ? kEncryptNotSupported : client == kEncryptOff ? kEncryptOff : kEncryptOn;
    case EncryptionMode::Required:
        break;
    }
    return clientCan ? kEncryptOn : kEncryptRequired;
}

std::vector<std::uint8_t> preloginReply(std::uint8_t encryption) {
    return {0x00,       0x00, 0x1A, 0x00, 0x06,       // VERSION at 26, 6 bytes
            0x01,       0x00, 0x20, 0x00, 0x01,       // ENCRYPTION at 32, 1 byte
            0x02,       0x00, 0x21, 0x00, 0x01,       // INSTOPT at 33, 1 byte
            0x03,       0x00, 0x22, 0x00, 0x00,       // THREADID at 34, empty
            0x04,       0x00, 0x22, 0x00, 0x01,       // MARS at 34, 1 byte
            0xFF,                                     // end of the option table
            0x10,       0x00, 0x00, 0x04, 0x00, 0x00, // version 16.0.4.0
            encryption,                               //
            0x00,                                     // no instance name
            0x00};                                    // MARS off
}

} // namespace standin
