#pragma once

#include <string_view>

namespace standin {

// One line to standard error; lines from concurrent connections never interleave.
void logLine(std::string_view text);

} // namespace standin
