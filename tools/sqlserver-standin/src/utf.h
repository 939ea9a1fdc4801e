#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// TDS carries all text as UTF-16LE; inside the server text is UTF-8. Malformed input on either
// side becomes U+FFFD instead of failing, so a bad byte from a client never aborts a reply.

void appendUtf16le(std::string_view utf8, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> toUtf16le(std::string_view utf8);
std::string fromUtf16le(const std::uint8_t* data, std::size_t bytes);

// Decodes the character at utf8[pos] and moves pos past it (U+FFFD for a malformed one).
char32_t nextCodePoint(std::string_view utf8, std::size_t& pos);
void appendUtf8(char32_t cp, std::string& out);

// Number of UTF-16 code units of the text (a character outside the BMP counts two).
std::size_t utf16Units(std::string_view utf8);

// The longest prefix holding at most maxUnits UTF-16 code units, never splitting a character.
std::string_view prefixByUtf16Units(std::string_view utf8, std::size_t maxUnits);

// ASCII-only case folding: SQL names compare without regard to ASCII case, other characters exactly.
std::string asciiLower(std::string_view text);
bool iequals(std::string_view a, std::string_view b);

} // namespace standin
