#pragma once
// The run's daily log: one file per day of the run time in the local backup folder, appended to
// by every stage, code page 932 with CR LF. A log that cannot be opened or written loses its
// lines silently; the run goes on.

#include "platform/clock.h"
#include "scheduler/context.h"

#include <filesystem>
#include <string_view>

namespace scheduler {

// The local backup folder, "/", the run time as "yyyymmdd", ".log".
std::filesystem::path dailyLogPathFor(const ProgramContext& ctx);

class DailyLog {
public:
    // Opens the file for appending, creating it when missing.
    DailyLog(const std::filesystem::path& path, const platform::Clock& clock);
    ~DailyLog();
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    // The clock's date and time, two spaces, the text.
    void section(std::string_view text);
    // The text alone.
    void line(std::string_view text);
    bool isOpen() const { return fd_ >= 0; }

private:
    void write(std::string_view text);

    int fd_ = -1;
    const platform::Clock& clock_;
};

} // namespace scheduler
