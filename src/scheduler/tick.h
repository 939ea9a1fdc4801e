#pragma once
// The one-minute scheduler tick (Timer1_Timer of the resident window) in plain C++: the window
// owns the timer and hands it in through TickTimer; everything else happens here.

#include "core/context.h"
#include "scheduler/schedule.h"
#include "scheduler/settings_reload.h"

#include <functional>

namespace scheduler {

// The resident window's one-minute timer, as the tick switches it.
class TickTimer {
public:
    virtual ~TickTimer() = default;
    virtual void setTimerEnabled(bool enabled) = 0;
};

// How the work of a due tick (everything after the evaluation) ended. The timer runs on after
// every ending: whatever failed, the next due time tries again.
enum class DueTickEnd {
    TimerOn,         // connection, database list or settings failed, or another backup holds the lock
    LockTableFailed, // reading or writing the exclusive-control rows failed
    RunCompleted,    // the run went through and its lock row is gone
};

// What the scheduler remembers of lock-table failures from one due tick to the next: a failure
// that repeats at every due time is shown once, until a run goes through again.
struct LockTableTrouble {
    bool told = false;
};

// The work of a due tick: pre-check, connection, lock rows, settings, the run and the unlock. It
// gets the evaluation that found the run due (its run time and due kinds), the held settings,
// which its own load replaces, and the memory of lock-table failures.
using DueTickWork =
    std::function<DueTickEnd(core::ProgramContext&, const TickState&, ResidentSettings&, LockTableTrouble&)>;

class SchedulerTick {
public:
    // Without `dueWork` a due tick only switches the timer on again.
    SchedulerTick(core::ProgramContext& ctx, TickTimer& timer, DueTickWork dueWork = {});
    SchedulerTick(const SchedulerTick&) = delete;
    SchedulerTick& operator=(const SchedulerTick&) = delete;

    void setDueTickWork(DueTickWork dueWork) { dueWork_ = std::move(dueWork); }

    // The resident program's start: the first evaluation looks back to it.
    void setStartTime(platform::LocalTime start) { state_ = TickState{start, {}, {}, {}}; }
    const TickState& state() const { return state_; }
    // The settings the tick evaluates and hands to its work.
    ResidentSettings& settings() { return settings_; }

    // Before the evaluation, the tick loads the settings again when MSDE_DBTOOL.INI or ZUZOR.INI
    // changed since the resident program last loaded them (nothing is compared before a first
    // such load: settings filled by hand stay as they are).
    void Timer1_Timer();

    // Loads the settings again as start-up does, now or, during a run, at the next tick.
    void reloadSettings();

    // True from the first idle tick or the first completed run on: [Schedule] Iniflg = "1" has
    // been written (or is no longer due to be written) for this start.
    bool idleMarker() const { return idleMarker_; }
    // A tick is in progress (a run lets window events through, so the timer can fire inside it).
    bool isRunning() const { return running_; }

private:
    void markIdleOnce();

    core::ProgramContext& ctx_;
    TickTimer& timer_;
    DueTickWork dueWork_;
    TickState state_;
    ResidentSettings settings_;
    LockTableTrouble lockTrouble_;
    bool idleMarker_ = false;
    bool running_ = false;
    bool reloadRequested_ = false;
};

} // namespace scheduler
