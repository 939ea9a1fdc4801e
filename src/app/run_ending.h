#pragma once
// How a run ends when SIGTERM or SIGINT arrives while it holds the GUI thread: runs on the
// signal thread while the run's own thread may be waiting for the server.

#include "platform/clock.h"

#include <chrono>
#include <filesystem>
#include <string>

namespace app {

struct RunEnding {
    std::filesystem::path dailyLog; // the run's daily log; empty when it has none
    platform::Clock* clock = nullptr;
    std::filesystem::path programDir; // the settings the lock row's connection is made from
    bool statusFromSignal = false;    // --tick-once: exit 128 + the signal's number; else 0
    std::chrono::milliseconds releaseWait{3000};
};

// The daily-log line of a run ended by `signal`.
std::string signalEndLine(int signal);

// Writes that line, cancels the statement in progress, deletes the program's lock row when the
// server answers within `releaseWait`, and ends the process (without running destructors: the
// run's thread may still be inside the driver).
[[noreturn]] void endRunOnSignal(const RunEnding& run, int signal);

} // namespace app
