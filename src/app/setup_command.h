#pragma once
// --setup: the guided set-up of a settings folder, on a terminal or from its answer options.

#include "app/command_line.h"

#include <string>
#include <vector>

namespace app {

// `arguments` is the command line without the program's name. Returns the exit status.
int runSetup(const std::vector<std::string>& arguments, const DefaultConfigDir& defaultConfigDir);

// " --config-dir DIR" (quoted for a shell) for a folder that is not the default one, else "".
std::string configDirArgument(const std::filesystem::path& configDir, const DefaultConfigDir& defaultConfigDir);

// The command that sets up `configDir`.
std::string setupCommandFor(const std::filesystem::path& configDir, const DefaultConfigDir& defaultConfigDir);

} // namespace app
