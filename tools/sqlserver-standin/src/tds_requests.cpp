#include "tds_requests.h"

#include "bytes.h"
#include "utf.h"

namespace standin {

std::size_t allHeadersEnd(const std::vector<std::uint8_t>& payload, TdsVersion version) {
    if (!version.hasAllHeaders()) {
        return 0;
    }
    ByteReader reader(payload);
    const std::uint32_t total = reader.u32le();
    if (total < 4 || total > payload.size()) {
        throw ProtocolError("ALL_HEADERS length outside the request");
    }
    return total;
}

std::string sqlBatchText(const std::vector<std::uint8_t>& payload, TdsVersion version) {
    const std::size_t start = allHeadersEnd(payload, version);
    std::string sql = fromUtf16le(payload.data() + start, payload.size() - start);
    while (!sql.empty() && (sql.back() == '\n' || sql.back() == '\r' || sql.back() == ' ' || sql.back() == '\t')) {
        sql.pop_back(); // tsql ends every batch with a newline
    }
    return sql;
}

TransactionManagerRequest parseTransactionRequest(const std::vector<std::uint8_t>& payload, TdsVersion version) {
    ByteReader reader(payload);
    reader.skip(allHeadersEnd(payload, version));
    TransactionManagerRequest request;
    request.type = reader.u16le();
    if (request.type == kTmCommit || request.type == kTmRollback) {
        reader.skip(static_cast<std::size_t>(reader.u8()) * 2); // transaction name
        request.beginAnother = reader.remaining() > 0 && (reader.u8() & 0x01) != 0;
    }
    return request;
}

} // namespace standin
