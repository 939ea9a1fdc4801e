#pragma once

#include <filesystem>
#include <string_view>

namespace platform {

// The folder of the running executable.
std::filesystem::path executableFolder();

// The entry of `folder` whose name equals `name` without regard to ASCII case; when none exists,
// folder / name as spelled.
std::filesystem::path findFileNoCase(const std::filesystem::path& folder, std::string_view name);

// The settings folder of a program started without --config-dir: `executableFolder` when it
// holds `settingsFile` (any case), so that a copy unpacked beside its settings keeps them;
// otherwise $XDG_CONFIG_HOME/`programName` ($HOME/.config/... when the variable is unset or not
// an absolute path). With `create` that folder is made (mode 0700: it holds the password key)
// when missing; a failure shows later as a folder that does not exist.
std::filesystem::path defaultSettingsFolder(const std::filesystem::path& executableFolder,
                                            std::string_view settingsFile, std::string_view programName, bool create);

} // namespace platform
