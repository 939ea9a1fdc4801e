#pragma once
// The command line of the resident program, read before any Qt application object exists (a
// second copy must be able to end without one).

#include "platform/datetime.h"

#include <QStringList>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace app {

struct Options {
    std::filesystem::path configDir; // canonical; plays the program's own folder
    bool headless = false;
    bool tickOnce = false;
    bool settingsOnly = false;
    bool status = false; // the health check: as text, one JSON object, or metrics
    enum class StatusFormat { Text, Json, Metrics } statusFormat = StatusFormat::Text;
    int graceMinutes = 60;
    int restoreAgeDays = 8; // --status: the last restore check may be this old
    std::optional<platform::LocalTime> clockStart;
    // --setup reads its own options (its answers may be given as options): the command line as
    // it stands, without the program's name.
    bool setup = false;
    std::vector<std::string> setupArguments;
    // --restore-check [--from local|external] [--database NAME]...
    bool restoreCheck = false;
    bool restoreFromExternal = false;
    std::vector<std::string> restoreDatabases;
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
// A health check that cannot run reports UNKNOWN, as monitoring plugins do.
inline constexpr int kStatusUnknown = 3;

// The settings folder to use without --config-dir; `create` makes it when missing (the health
// check creates nothing).
using DefaultConfigDir = std::function<std::filesystem::path(bool create)>;

// `arguments` holds the program name first.
CommandLine parseCommandLine(const QStringList& arguments, const DefaultConfigDir& defaultConfigDir);

QStringList argumentsOf(int argc, char** argv);

} // namespace app
