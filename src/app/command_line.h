#pragma once
// The command line of the resident program, read before any Qt application object exists (a
// second copy must be able to end without one).

#include "platform/datetime.h"

#include <QStringList>

#include <filesystem>
#include <optional>
#include <string>

namespace app {

struct Options {
    std::filesystem::path configDir; // canonical; plays the program's own folder
    bool headless = false;
    bool tickOnce = false;
    bool settingsOnly = false;
    std::optional<platform::LocalTime> clockStart;
};

// The parsed command line: either options to run with, or a status to end with at once after
// writing `out` to standard output and `err` to standard error.
struct CommandLine {
    Options options;
    std::optional<int> exitStatus;
    std::string out;
    std::string err;
};

inline constexpr int kUsageError = 2;

// `arguments` holds the program name first. `defaultConfigDir` is used without --config-dir.
CommandLine parseCommandLine(const QStringList& arguments, const std::filesystem::path& defaultConfigDir);

QStringList argumentsOf(int argc, char** argv);

} // namespace app
