#pragma once
// What the desktop and the headless front end share around the scheduler: the work of a due tick
// with the run, the settings dialog a job offers, the observers of each job and the program's end,
// and one tick at once for --tick-once.

#include "app/program_ending.h"
#include "app/scheduler_driver.h"
#include "scheduler/due_tick.h"

#include <functional>
#include <optional>

namespace app {

// The run, and how this front end opens the settings dialog (called from the job's thread).
scheduler::DueTickServices dueTickServices(std::function<void(core::DbSession&)> openSettings);

// The settings dialog a job's failed settings check offers: shown on the GUI thread, and the job
// (on its own thread) waits until it is closed, as the load that follows needs what it saved.
std::function<void(core::DbSession&)> dialogFromTheJob(core::ProgramContext& ctx);

// The exit status of --tick-once: 0 when nothing was due or its run went through without a
// failure, 1 when the run met a failure or the tick ended before a run.
int tickOnceStatus(const std::optional<scheduler::DueTickResult>& result);

struct Scheduling {
    SchedulerDriver& driver;
    ProgramEnding& ending;
    std::optional<scheduler::DueTickResult> lastResult = {};
    bool once = false; // --tick-once: the event loop ends with the job

    // `duringJob` is told when a job starts (true) and when it has ended (false).
    void wire(scheduler::DueTickServices services, std::function<void(bool)> duringJob);
    // One tick at once; its job, when one starts, is waited for in the event loop.
    int tickOnce();
};

} // namespace app
