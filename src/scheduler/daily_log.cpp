#include "scheduler/daily_log.h"

#include "platform/codepage.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace scheduler {

std::filesystem::path dailyLogPathFor(const ProgramContext& ctx) {
    // Without a backup folder there is no log: joining "" would put it in the root folder.
    if (ctx.settings.path.find_first_not_of(' ') == std::string::npos)
        return {};
    return std::filesystem::path(ctx.settings.path + "/" + platform::formatYmd(ctx.runTime()) + ".log");
}

DailyLog::DailyLog(const std::filesystem::path& path, const platform::Clock& clock) : clock_(clock) {
    if (!path.empty())
        fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

DailyLog::~DailyLog() {
    if (fd_ >= 0)
        ::close(fd_);
}

void DailyLog::section(std::string_view text) {
    write(platform::formatDateTime(clock_.now()) + "  " + std::string(text));
}

void DailyLog::line(std::string_view text) {
    write(text);
}

void DailyLog::write(std::string_view text) {
    if (fd_ < 0)
        return;
    // One write per line: with O_APPEND the line lands whole even when two stages interleave.
    const std::string bytes = platform::toCp932(text) + "\r\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
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

} // namespace scheduler
