#include "core/daily_log.h"

#include "platform/codepage.h"
#include "platform/filesystem.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>

namespace core {

std::filesystem::path dailyLogPathFor(const Settings& settings, platform::LocalTime runTime) {
    // Without a backup folder there is no log: joining "" would put it in the root folder.
    if (settings.path.find_first_not_of(' ') == std::string::npos)
        return {};
    return std::filesystem::path(settings.path + "/" + platform::formatYmd(runTime) + ".log");
}

namespace {

// A log name that is a link or not a file at all was planted by someone else in the shared
// folder: say so once per name on standard error (the log itself cannot carry it), not once per
// stage. A missing folder stays silent, as the run reports it elsewhere.
void reportRefusedLog(const std::filesystem::path& path, const std::error_code& ec) {
    if (ec != std::errc::too_many_symbolic_link_levels && ec != std::errc::invalid_argument)
        return;
    static std::mutex mutex;
    static std::set<std::string> reported;
    const std::lock_guard lock(mutex);
    if (!reported.insert(path.string()).second)
        return;
    const char* why = ec == std::errc::invalid_argument ? "not a regular file" : "a symbolic link";
    std::fprintf(stderr, "encrt-schedule-backup: the daily log %s is %s; nothing is written to it\n", path.c_str(),
                 why);
}

} // namespace

DailyLog::DailyLog(const std::filesystem::path& path, const ProgramContext& services)
    : DailyLog(path, services.clock, services.files) {}

DailyLog::DailyLog(const std::filesystem::path& path, const platform::Clock& clock, const platform::FileSystem& files)
    : path_(path), clock_(clock), files_(files) {}

void DailyLog::section(std::string_view text) {
    write(platform::formatDateTime(clock_.now()) + "  " + std::string(text));
}

void DailyLog::line(std::string_view text) {
    write(text);
}

// Each line is appended whole on its own, so a line lands complete whoever else writes the day's
// log; one that cannot be written is lost, and the run goes on.
void DailyLog::write(std::string_view text) {
    if (path_.empty())
        return;
    if (const std::error_code ec = files_.appendToFile(path_, platform::toCp932(text) + "\r\n"))
        reportRefusedLog(path_, ec);
}

void logErrorDescription(DailyLog& log, std::string_view text) {
    log.line("Err.Description：" + std::string(text));
}

void logDeletion(DailyLog& log, std::string_view path, const std::error_code& error) {
    const std::string outcome = error ? "失敗" : "成功";
    log.line("結果：" + outcome + std::string(kIdeographicSpace) + "削除ﾌｧｲﾙ名：" + std::string(path));
    if (error)
        logErrorDescription(log, error.message());
}

} // namespace core
