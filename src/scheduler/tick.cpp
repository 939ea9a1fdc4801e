#include "scheduler/tick.h"

#include "core/settings.h"
#include "scheduler/schedule.h"
#include "scheduler/settings_reload.h"

#include <utility>

namespace scheduler {
namespace {

// Marks a tick as in progress for its whole length, also when it ends early.
class RunningScope {
public:
    explicit RunningScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~RunningScope() { flag_ = false; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

private:
    bool& flag_;
};

} // namespace

SchedulerTick::SchedulerTick(core::ProgramContext& ctx, TickTimer& timer, DueTickWork dueWork)
    : ctx_(ctx), timer_(timer), dueWork_(std::move(dueWork)) {}

void SchedulerTick::Timer1_Timer() {
    // A timer switched on again during a run (the settings dialog opened from the menu while the
    // run lets events through) must not start a second tick inside the first one.
    if (running_)
        return;
    RunningScope scope(running_);

    timer_.setTimerEnabled(false);
    if (std::exchange(reloadRequested_, false))
        settings_.load(ctx_);
    else if (settings_.loadedFiles())
        settings_.reloadIfChanged(ctx_);
    if (!fnIsBackupDue(settings_.current(), state_, ctx_.clock.now())) {
        markIdleOnce();
        timer_.setTimerEnabled(true);
        return;
    }

    const DueTickEnd end = dueWork_ ? dueWork_(ctx_, state_, settings_, lockTrouble_) : DueTickEnd::TimerOn;
    if (end == DueTickEnd::RunCompleted) {
        idleMarker_ = true;        // Iniflg keeps the "0" of the run
        lockTrouble_.told = false; // the lock table works again: a new failure is told again
    }
    timer_.setTimerEnabled(true);
}

void SchedulerTick::reloadSettings() {
    if (running_)
        reloadRequested_ = true; // the run goes on with the settings it started with
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
