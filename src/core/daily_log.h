#pragma once
// The run's daily log: one file per day of the run time in the local backup folder, appended to
// by every stage, code page 932 with CR LF. A log that cannot be opened or written loses its
// lines silently; the run goes on.

#include "core/context.h"
#include "platform/clock.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace core {

// The local backup folder, "/", the run time as "yyyymmdd", ".log"; empty when no backup folder
// is set.
std::filesystem::path dailyLogPathFor(const Settings& settings, platform::LocalTime runTime);

class DailyLog {
public:
    // Appends through the services' file system. A symbolic link or anything but a regular file
    // under the log's name is refused (reported once on standard error).
    DailyLog(const std::filesystem::path& path, const ProgramContext& services);
    DailyLog(const std::filesystem::path& path, const platform::Clock& clock, const platform::FileSystem& files);
    DailyLog(const DailyLog&) = delete;
    DailyLog& operator=(const DailyLog&) = delete;

    // The clock's date and time, two spaces, the text.
    void section(std::string_view text);
    // The text alone.
    void line(std::string_view text);

private:
    void write(std::string_view text);

    std::filesystem::path path_;
    const platform::Clock& clock_;
    const platform::FileSystem& files_;
};

// One ideographic space: the separator of the pieces of a result line.
inline constexpr std::string_view kIdeographicSpace = "\u3000";

// "結果：成功　削除ﾌｧｲﾙ名：<path>", or on an error the failure line and "Err.Description：<text>".
void logDeletion(DailyLog& log, std::string_view path, const std::error_code& error);

// The second line of every failure: "Err.Description：" and the error's text.
void logErrorDescription(DailyLog& log, std::string_view text);

} // namespace core
