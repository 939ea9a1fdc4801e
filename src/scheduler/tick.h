#pragma once
// The one-minute scheduler tick (Timer1_Timer of the resident window) in plain C++. The window
// owns the timer, which runs on while a job runs; the tick evaluates the schedule and hands the
// work of a due tick to a job runner.

#include "core/context.h"
#include "scheduler/job.h"
#include "scheduler/schedule.h"
#include "scheduler/settings_reload.h"

#include <functional>

namespace scheduler {

class SchedulerTick {
public:
    // Without `dueWork` a due tick does nothing more.
    SchedulerTick(core::ProgramContext& ctx, JobRunner& runner, DueTickWork dueWork = {});
    SchedulerTick(const SchedulerTick&) = delete;
    SchedulerTick& operator=(const SchedulerTick&) = delete;

    void setDueTickWork(DueTickWork dueWork) { dueWork_ = std::move(dueWork); }
    // Told on the tick's thread when a job starts, and with its result when it has ended.
    void setJobObservers(std::function<void()> started, std::function<void(const DueTickResult&)> finished);

    // The resident program's start: the first evaluation looks back to it.
    void setStartTime(platform::LocalTime start) { state_ = TickState{start, {}, {}, {}}; }
    const TickState& state() const { return state_; }
    // The settings the tick evaluates and hands to its work.
    ResidentSettings& settings() { return settings_; }

    // Before the evaluation, the tick loads the settings again when MSDE_DBTOOL.INI or ZUZOR.INI
    // changed since the resident program last loaded them (nothing is compared before a first
    // such load: settings filled by hand stay as they are). While a job runs the tick does
    // nothing: the evaluation after the job looks back to the last one, so a kind that fell due
    // meanwhile is made then.
    void Timer1_Timer();

    // Loads the settings again as start-up does, now or, while a job runs, at the next tick.
    void reloadSettings();

    // True from the first idle tick or the first completed run on: [Schedule] Iniflg = "1" has
    // been written (or is no longer due to be written) for this start.
    bool idleMarker() const { return idleMarker_; }
    bool jobRunning() const { return jobRunning_; }

private:
    void markIdleOnce();
    void jobFinished(const DueTickResult& result);

    core::ProgramContext& ctx_;
    JobRunner& runner_;
    DueTickWork dueWork_;
    std::function<void()> jobStarted_;
    std::function<void(const DueTickResult&)> jobFinishedObserver_;
    TickState state_;
    ResidentSettings settings_;
    LockTableTrouble lockTrouble_;
    bool idleMarker_ = false;
    bool jobRunning_ = false;
    bool reloadRequested_ = false;
};

} // namespace scheduler
