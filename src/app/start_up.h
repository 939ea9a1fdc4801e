#pragma once
// Main: the command line, the single-instance lock, the start-up values and the mode the command
// line asks for (resident with a tray, headless, one tick, or the settings dialog alone).

#include "core/context.h"
#include "scheduler/tick.h"

namespace app {

// Runs the program and returns its exit status.
int Main(int argc, char** argv);

// The start-up values of the scheduler tick: its settings (the load's result is not looked at; no
// server list is loaded yet) and its start time, taken from the clock before the load.
void startUp(core::ProgramContext& ctx, scheduler::SchedulerTick& tick);

} // namespace app
