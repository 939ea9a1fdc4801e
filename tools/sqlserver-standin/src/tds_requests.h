#pragma once

#include "tds_tokens.h"

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

// Transaction-manager request types [MS-TDS 2.2.6.9].
inline constexpr std::uint16_t kTmBegin = 5;
inline constexpr std::uint16_t kTmCommit = 7;
inline constexpr std::uint16_t kTmRollback = 8;

// Where a request's own data starts: after ALL_HEADERS (TDS 7.2 and later), skipped by its
// total-length field. Throws ProtocolError when that length lies outside the request.
std::size_t allHeadersEnd(const std::vector<std::uint8_t>& payload, TdsVersion version);

// The SQL text of a SQL_BATCH request, trailing blanks and line ends removed.
std::string sqlBatchText(const std::vector<std::uint8_t>& payload, TdsVersion version);

struct TransactionManagerRequest {
    std::uint16_t type = 0;
    bool beginAnother = false; // COMMIT/ROLLBACK that start a new transaction at once
};

// Throws ProtocolError on a truncated request.
TransactionManagerRequest parseTransactionRequest(const std::vector<std::uint8_t>& payload, TdsVersion version);

} // namespace standin
