#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// TDS carries all text as UTF-16LE; inside the server text is UTF-8. Malformed input on either
// side becomes U+FFFD instead of failing, so a bad byte from a client never aborts a reply.

void append_utf16le(std::string_view utf8, std::vector<std::uint8_t>& out);
std::vector<std::uint8_t> to_utf16le(std::string_view utf8);
std::string from_utf16le(const std::uint8_t* data, std::size_t bytes);

// Number of UTF-16 code units of the text (a character outside the BMP counts two).
std::size_t utf16_units(std::string_view utf8);

// The longest prefix holding at most max_units UTF-16 code units, never splitting a character.
std::string_view prefix_by_utf16_units(std::string_view utf8, std::size_t max_units);

// ASCII-only case folding: SQL names compare without regard to ASCII case, other characters exactly.
std::string ascii_lower(std::string_view text);
bool iequals(std::string_view a, std::string_view b);

} // namespace standin
