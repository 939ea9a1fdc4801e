#pragma once

#include <string_view>

namespace platform {

// Writes all of `bytes` to `fd`, going on after a signal interrupts the call and after a short
// write. False on the first failure, with errno telling why.
bool writeAll(int fd, std::string_view bytes);

} // namespace platform
