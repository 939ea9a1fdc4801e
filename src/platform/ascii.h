#pragma once
// ASCII case folding, the only case folding names get on Windows' file and profile lookups.

#include <algorithm>
#include <string_view>

namespace platform {

inline char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

inline bool equalsNoCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiUpper(x) == asciiUpper(y); });
}

} // namespace platform
