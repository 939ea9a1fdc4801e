#include "bytes.h"

#include "utf.h"

namespace standin {

void ByteWriter::raw(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void ByteWriter::utf16(std::string_view utf8) {
    append_utf16le(utf8, bytes_);
}

void ByteWriter::b_varchar(std::string_view utf8) {
    const std::string_view cut = prefix_by_utf16_units(utf8, 255);
    u8(static_cast<std::uint8_t>(utf16_units(cut)));
    utf16(cut);
}

void ByteWriter::us_varchar(std::string_view utf8) {
    const std::string_view cut = prefix_by_utf16_units(utf8, 65535);
    u16le(static_cast<std::uint16_t>(utf16_units(cut)));
    utf16(cut);
}

void ByteWriter::patch_u16le(std::size_t at, std::uint16_t v) {
    bytes_.at(at) = static_cast<std::uint8_t>(v);
    bytes_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

std::string ByteReader::utf16_at(std::size_t offset, std::size_t units) const {
    if (offset > size_ || units * 2 > size_ - offset) {
        throw ProtocolError("text field beyond the end of the message");
    }
    return from_utf16le(data_ + offset, units * 2);
}

} // namespace standin
