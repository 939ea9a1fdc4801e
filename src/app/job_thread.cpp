#include "app/job_thread.h"

namespace app {

ThreadJobRunner::~ThreadJobRunner() {
    if (thread_.joinable())
        thread_.join();
}

void ThreadJobRunner::start(Work work, Finished finished) {
    if (thread_.joinable())
        thread_.join(); // the previous job has handed back its end: its thread is done
    stop_ = std::make_shared<scheduler::JobStop>();
    thread_ = std::jthread([this, stop = stop_, work = std::move(work), finished = std::move(finished)]() mutable {
        scheduler::DueTickResult result = work(*stop);
        QMetaObject::invokeMethod(
            this, [finished = std::move(finished), result = std::move(result)] { finished(result); },
            Qt::QueuedConnection);
    });
}

void ThreadJobRunner::requestStop(std::string line) {
    if (stop_)
        stop_->request(std::move(line));
}

void ThreadJobRunner::writeStopLine(const core::ProgramContext& services) {
    if (stop_)
        stop_->writeLine(services);
}

} // namespace app
