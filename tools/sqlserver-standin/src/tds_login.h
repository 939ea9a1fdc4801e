#pragma once

#include "tds_tokens.h"

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

// The PRELOGIN answer: version 16, ENCRYPTION "not supported" (so the login travels in clear
// text; TLS is not offered), no instance, no thread id, MARS off.
std::vector<std::uint8_t> preloginReply();

} // namespace standin
