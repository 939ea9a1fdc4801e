#pragma once
// What the last run met, kept in a small file of the settings folder for the health check:
// [BACKUPTIME] holds only the last flawless run, and a run that could not read a folder still
// records it there (the backups were made), although expired files inside stay for ever.

#include "core/run_report.h"

#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace core {

inline constexpr std::string_view kLastRunFileName = "encrt-last-run.ini";

struct LastRun {
    std::optional<platform::LocalTime> started, finished;
    bool flawless = false;
    std::size_t filesWritten = 0, failures = 0;
    std::vector<std::string> unreadableFolders;
};

std::filesystem::path lastRunPath(const std::filesystem::path& configDir);

// Replaces the file in one step (UTF-8, since folder names may hold any character).
std::error_code recordLastRun(const std::filesystem::path& configDir, const RunReport& report);

// Nothing when no run was recorded or the file cannot be read.
std::optional<LastRun> readLastRun(const std::filesystem::path& configDir);

} // namespace core
