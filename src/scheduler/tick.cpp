#include "scheduler/tick.h"

#include "core/settings.h"
#include "scheduler/schedule.h"
#include "scheduler/settings_reload.h"

#include <utility>

namespace scheduler {

SchedulerTick::SchedulerTick(core::ProgramContext& ctx, JobRunner& runner, DueTickWork dueWork)
    : ctx_(ctx), runner_(runner), dueWork_(std::move(dueWork)) {}

void SchedulerTick::setJobObservers(std::function<void()> started, std::function<void(const DueTickResult&)> finished) {
    jobStarted_ = std::move(started);
    jobFinishedObserver_ = std::move(finished);
}

void SchedulerTick::Timer1_Timer() {
    if (jobRunning_)
        return;
    if (std::exchange(reloadRequested_, false))
        settings_.load(ctx_);
    else if (settings_.loadedFiles())
        settings_.reloadIfChanged(ctx_);
    if (!fnIsBackupDue(settings_.current(), state_, ctx_.clock.now())) {
        markIdleOnce();
        return;
    }
    if (!dueWork_)
        return;
    jobRunning_ = true;
    if (jobStarted_)
        jobStarted_();
    runner_.start(
        [this, tick = state_](JobStop& stop) {
            DueTickJob job{ctx_, tick, settings_, lockTrouble_, stop};
            return dueWork_(job);
        },
        [this](DueTickResult result) { jobFinished(result); });
}

void SchedulerTick::jobFinished(const DueTickResult& result) {
    jobRunning_ = false;
    if (result.end == DueTickEnd::RunCompleted) {
        idleMarker_ = true;        // Iniflg keeps the "0" of the run
        lockTrouble_.told = false; // the lock table works again: a new failure is told again
    }
    if (jobFinishedObserver_)
        jobFinishedObserver_(result);
}

void SchedulerTick::reloadSettings() {
    if (jobRunning_)
        reloadRequested_ = true; // the job goes on with the settings it started with
    else
        settings_.load(ctx_);
}

void SchedulerTick::markIdleOnce() {
    if (idleMarker_)
        return;
    // Other product programs read this key: "1" says no backup of ours is running.
    settings_.writeStateKey(ctx_, "Schedule", "Iniflg", "1");
    idleMarker_ = true;
}

} // namespace scheduler
