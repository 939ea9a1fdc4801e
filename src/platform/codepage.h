#pragma once
// Text is UTF-8 in memory and code page 932 (the Windows flavour of Shift_JIS) on disk.

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to code page 932. A character the code page cannot hold, and any byte that is not
// valid UTF-8, becomes "?".
std::string toCp932(std::string_view utf8);

// Code page 932 to UTF-8. A byte sequence that is not valid code page 932 becomes "?".
std::string fromCp932(std::string_view cp932);

// True when the bytes decode as code page 932 without a single replacement.
bool isValidCp932(std::string_view cp932);

// True when the text comes back unchanged from code page 932: every character is held, and held
// by a code that decodes to that same character (〜 U+301C, for one, is stored as the code of ～).
// A name that fails this is written as one name and read back as another.
bool roundTripsCp932(std::string_view utf8);

// Number of bytes the text takes in code page 932.
std::size_t cp932Length(std::string_view utf8);

// Strict UTF-8 check (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);

} // namespace platform
