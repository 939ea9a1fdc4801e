#pragma once
// The restore check's section of the daily log (code page 932, as every line of it).

#include "core/daily_log.h"
#include "restore/check_report.h"

#include <filesystem>
#include <string>

namespace restore {

class CheckLog {
public:
    // No log is written when `path` is empty (no local backup folder is set).
    CheckLog(const std::filesystem::path& path, const platform::Clock& clock);

    void write(const CheckReport& report, const std::string& folder);
    void stateFileFailed(const std::string& path);

private:
    std::filesystem::path path_;
    const platform::Clock& clock_;
};

} // namespace restore
