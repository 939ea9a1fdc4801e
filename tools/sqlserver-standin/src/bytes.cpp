#include "bytes.h"

#include "utf.h"

namespace standin {

void ByteWriter::raw(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
}

void ByteWriter::utf16(std::string_view utf8) {
    appendUtf16le(utf8, bytes_);
}

void ByteWriter::bVarchar(std::string_view utf8) {
    const std::string_view cut = prefixByUtf16Units(utf8, 255);
    u8(static_cast<std::uint8_t>(utf16Units(cut)));
    utf16(cut);
}

void ByteWriter::usVarchar(std::string_view utf8) {
    const std::string_view cut = prefixByUtf16Units(utf8, 65535);
    u16le(static_cast<std::uint16_t>(utf16Units(cut)));
    utf16(cut);
}

void ByteWriter::patchU16le(std::size_t at, std::uint16_t v) {
    bytes_.at(at) = static_cast<std::uint8_t>(v);
    bytes_.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}

std::string ByteReader::utf16At(std::size_t offset, std::size_t units) const {
    if (offset > size_ || units * 2 > size_ - offset) {
        throw ProtocolError("text field beyond the end of the message");
    }
    return fromUtf16le(data_ + offset, units * 2);
}

} // namespace standin
