#pragma once

#include "tds_tokens.h"
#include "tls_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// The fields of a LOGIN7 request [MS-TDS 2.2.6.4] that the server uses.
struct Login7 {
    TdsVersion version;
    std::uint32_t packetSize = 0; // 0: the client takes the server's choice
    std::string host;
    std::string user;
    std::string password;
    std::string application;
    std::string database;
};

// Parses LOGIN7; throws ProtocolError on malformed input or an unsupported TDS version.
Login7 parseLogin7(const std::vector<std::uint8_t>& payload);

// PRELOGIN ENCRYPTION values [MS-TDS 2.2.6.5].
inline constexpr std::uint8_t kEncryptOff = 0x00;          // available, used for the login only
inline constexpr std::uint8_t kEncryptOn = 0x01;           // the whole connection
inline constexpr std::uint8_t kEncryptNotSupported = 0x02; // no TLS at all
inline constexpr std::uint8_t kEncryptRequired = 0x03;     // the server insists

// The ENCRYPTION byte of a client's PRELOGIN (the client-certificate bit dropped); "not supported"
// when the option is missing or unknown. Throws ProtocolError on a malformed option table.
std::uint8_t clientEncryption(const std::vector<std::uint8_t>& payload);

// What the server answers to the client's ENCRYPTION byte: a server without a certificate never
// encrypts; one with a certificate encrypts at least the login of a client that can, all of it
// when the client or the server's setting asks so, and answers "required" to a client that
// cannot when the setting forces encryption (then it ends the connection).
std::uint8_t negotiateEncryption(std::uint8_t client, EncryptionMode mode);

// The PRELOGIN answer: version 16, the negotiated ENCRYPTION, no instance, no thread id, MARS off.
std::vector<std::uint8_t> preloginReply(std::uint8_t encryption);

} // namespace standin
