#pragma once
// Stepping through UTF-8 text. The program's own texts are UTF-8, but file names may hold any
// bytes, so every step here accepts ill-formed input and never reads past the end. One rule for
// what a character is, everywhere: a well-formed sequence, or else a single byte on its own. A
// cut-off sequence therefore never swallows the ASCII byte after it.

#include <cstddef>
#include <string_view>

namespace platform::utf8 {

constexpr bool isContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length (1 to 4) of the well-formed sequence that starts at s[i], its code point in `cp`;
// 0 for bytes that are not UTF-8 there: a stray or missing continuation byte, an overlong form,
// a surrogate, or a value beyond U+10FFFF.
constexpr std::size_t decode(std::string_view s, std::size_t i, char32_t& cp) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    const std::size_t n = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > s.size() - i)
        return 0;
    char32_t v = n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < n; ++k) {
        if (!isContinuation(s[i + k]))
            return 0;
        v = (v << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    const char32_t minimum = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (v < minimum || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF))
        return 0;
    cp = v;
    return n;
}

constexpr std::size_t validLength(std::string_view s, std::size_t i) {
    char32_t cp = 0;
    return decode(s, i, cp);
}

// Where the character that starts at s[i] (i < s.size()) ends.
constexpr std::size_t next(std::string_view s, std::size_t i) {
    const std::size_t n = validLength(s, i);
    return i + (n == 0 ? 1 : n);
}

// The byte offset just past the first `count` characters of `s` (all of it when shorter).
constexpr std::size_t offsetOf(std::string_view s, std::size_t count) {
    std::size_t i = 0;
    for (; i < s.size() && count > 0; --count)
        i = next(s, i);
    return i;
}

constexpr bool isValid(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = validLength(s, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

} // namespace platform::utf8
