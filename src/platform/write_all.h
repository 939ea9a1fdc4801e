#pragma once

#include <filesystem>
#include <string_view>
#include <sys/types.h>
#include <system_error>

namespace platform {

// Writes all of `bytes` to `fd`, going on after a signal interrupts the call and after a short
// write. False on the first failure, with errno telling why.
bool writeAll(int fd, std::string_view bytes);

// Replaces `file` with `bytes` in one step: a temporary file in the same folder, flushed, then
// renamed over it, so that a crash never leaves a half-written file behind.
std::error_code replaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode);

} // namespace platform
