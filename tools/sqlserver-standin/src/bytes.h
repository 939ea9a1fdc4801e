#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A client broke the protocol (bad lengths, truncated structures). The connection is dropped.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds a TDS byte stream. TDS is little-endian except packet headers and a few PRELOGIN fields.
class ByteWriter {
public:
    void u8(std::uint8_t v) { bytes_.push_back(v); }
    void u16le(std::uint16_t v) { putLe(v, 2); }
    void u32le(std::uint32_t v) { putLe(v, 4); }
    void u64le(std::uint64_t v) { putLe(v, 8); }
    void u16be(std::uint16_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void raw(const void* data, std::size_t size);
    void raw(const std::vector<std::uint8_t>& data) { raw(data.data(), data.size()); }
    void utf16(std::string_view utf8);
    // B_VARCHAR: a byte count of UTF-16 units, then the text (cut at 255 units).
    void bVarchar(std::string_view utf8);
    // US_VARCHAR: a two-byte count of UTF-16 units, then the text.
    void usVarchar(std::string_view utf8);
    void patchU16le(std::size_t at, std::uint16_t v);

    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    void putLe(std::uint64_t v, int width) {
        for (int i = 0; i < width; ++i) {
            bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    std::vector<std::uint8_t> bytes_;
};

// Reads client data; every access is bounds-checked and throws ProtocolError when it would overrun.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    explicit ByteReader(const std::vector<std::uint8_t>& data) : ByteReader(data.data(), data.size()) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(getLe(1)); }
    std::uint16_t u16le() { return static_cast<std::uint16_t>(getLe(2)); }
    std::uint32_t u32le() { return static_cast<std::uint32_t>(getLe(4)); }
    void skip(std::size_t n) {
        need(n);
        pos_ += n;
    }
    // UTF-16LE text of `units` code units at an absolute byte offset.
    std::string utf16At(std::size_t offset, std::size_t units) const;
    void seek(std::size_t pos) {
        if (pos > size_) {
            throw ProtocolError("offset beyond the end of the message");
        }
        pos_ = pos;
    }
    std::size_t pos() const { return pos_; }
    std::size_t size() const { return size_; }
    std::size_t remaining() const { return size_ - pos_; }
    const std::uint8_t* here() const { return data_ + pos_; }

private:
    void need(std::size_t n) const {
        if (n > size_ - pos_) {
            throw ProtocolError("message shorter than its structure says");
        }
    }
    std::uint64_t getLe(int width) {
        need(static_cast<std::size_t>(width));
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i) {
            v |= static_cast<std::uint64_t>(data_[pos_ + static_cast<std::size_t>(i)]) << (8 * i);
        }
        pos_ += static_cast<std::size_t>(width);
        return v;
    }
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace standin
