#pragma once
// What a restore check found, how it is written into the daily log and into the state file that
// --status reads.

#include "platform/datetime.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace restore {

enum class Source { Local, External };

struct DatabaseResult {
    std::string database;
    bool ok = false;
    std::vector<std::string> files; // the chain, in restore order
    double restoreSeconds = 0;
    double checkSeconds = 0;
    std::string error; // the first error; "" when ok
};

struct CheckReport {
    platform::LocalTime started{};
    platform::LocalTime finished{};
    Source source = Source::Local;
    std::string cannotRun; // why the check could not run at all; "" when it ran
    bool interrupted = false;
    std::vector<DatabaseResult> databases;

    // 0 every chain restored and checked, 1 a chain failed, 2 the check could not run.
    int exitStatus() const;
};

// The state file in the settings folder: the last check's time, source, result and, per database,
// its result, durations and first error.
inline constexpr const char* kStateFileName = "restore-check.state";

std::filesystem::path stateFilePath(const std::filesystem::path& settingsFolder);
// Written through a temporary file and a rename; false when it could not be written.
bool writeStateFile(const std::filesystem::path& settingsFolder, const CheckReport& report);
// nullopt when there is no state file (no check ever ran) or it cannot be read.
std::optional<CheckReport> readStateFile(const std::filesystem::path& settingsFolder);

std::string sourceName(Source source); // "local" or "external"

} // namespace restore
