#pragma once

#include <filesystem>
#include <string_view>

namespace platform {

// The folder of the running executable.
std::filesystem::path executableFolder();

// The entry of `folder` whose name equals `name` without regard to ASCII case; when none exists,
// folder / name as spelled.
std::filesystem::path findFileNoCase(const std::filesystem::path& folder, std::string_view name);

// The user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder).
std::filesystem::path runtimeFolder();

} // namespace platform
