#include "scheduler/job.h"

#include "core/daily_log.h"

namespace scheduler {

void JobStop::request(std::string line) {
    {
        const std::lock_guard lock(mutex_);
        if (source_.stop_requested())
            return;
        line_ = std::move(line);
    }
    source_.request_stop();
}

void JobStop::setDailyLog(std::filesystem::path log) {
    const std::lock_guard lock(mutex_);
    dailyLog_ = std::move(log);
}

bool JobStop::writeLine(const core::ProgramContext& services) {
    const std::lock_guard lock(mutex_);
    if (lineWritten_ || !source_.stop_requested())
        return false;
    lineWritten_ = true;
    core::DailyLog(dailyLog_, services).section(line_);
    return true;
}

void InlineJobRunner::start(Work work, Finished finished) {
    JobStop stop;
    running_ = &stop;
    DueTickResult result = work(stop);
    running_ = nullptr;
    finished(std::move(result));
}

void InlineJobRunner::requestStop(std::string line) {
    if (running_)
        running_->request(std::move(line));
}

} // namespace scheduler
