#pragma once
// The work of a due tick as a job. In the program it runs on a worker thread, so that the GUI
// thread stays free for the tray menu and the boxes the run shows without waiting for them; in
// tests of whole runs it runs at once on the calling thread. A stop request ends it at once: the
// statement in progress is cancelled, nothing further starts, and the daily log ends the run with
// the line the request gives.

#include "core/run_report.h"
#include "scheduler/schedule.h"
#include "scheduler/settings_reload.h"

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

namespace scheduler {

// How a job is asked to stop, and the daily-log line that then ends its run. The line is written
// once: by the job when it has stopped, or, when the job cannot stop in time (a server that stopped
// answering holds the cancelled statement), by the program as it ends without it.
class JobStop {
public:
    // The first request wins; later ones change nothing.
    void request(std::string line);
    std::stop_token token() const { return source_.get_token(); }
    bool requested() const { return source_.stop_requested(); }

    // The daily log the job writes to now: the pre-check's, then its run's.
    void setDailyLog(std::filesystem::path log);
    // Writes the stop's line into that log unless it has been written; false when it had been.
    bool writeLine(const core::ProgramContext& services);

private:
    std::stop_source source_;
    mutable std::mutex mutex_;
    std::string line_;
    std::filesystem::path dailyLog_;
    bool lineWritten_ = false;
};

// How the work of a due tick ended. Whatever the ending, the next due time tries again.
enum class DueTickEnd {
    NoRun,           // the connection, the database list or the settings failed, or another backup holds the lock
    LockTableFailed, // reading or writing the exclusive-control rows failed
    RunCompleted,    // the run went through and its lock row is gone
    Stopped,         // a stop request ended the job
};

struct DueTickResult {
    DueTickEnd end = DueTickEnd::NoRun;
    std::optional<core::RunReport> report; // the run's, when one was made
};

// What the scheduler remembers of lock-table failures from one due tick to the next: a failure
// that repeats at every due time is shown once, until a run goes through again.
struct LockTableTrouble {
    bool told = false;
};

// What the work of a due tick is handed: the services, the evaluation that found it due (a copy:
// the tick goes on), the held settings, which its own load replaces, the memory of lock-table
// failures and its stop. Only the job touches the held settings while it runs.
struct DueTickJob {
    core::ProgramContext& ctx;
    TickState tick;
    ResidentSettings& held;
    LockTableTrouble& lockTrouble;
    JobStop& stop;
};

using DueTickWork = std::function<DueTickResult(DueTickJob&)>;

// Where jobs run.
class JobRunner {
public:
    using Work = std::function<DueTickResult(JobStop&)>;
    using Finished = std::function<void(DueTickResult)>;
    virtual ~JobRunner() = default;
    // Runs `work` with a stop of its own; `finished` is called with its result on the thread that
    // started it. One job at a time.
    virtual void start(Work work, Finished finished) = 0;
    // Asks the job that runs now, if any, to stop; `line` ends its run in the daily log.
    virtual void requestStop(std::string line) = 0;
};

// Runs each job at once on the calling thread; a stop can be requested from within the job.
class InlineJobRunner final : public JobRunner {
public:
    void start(Work work, Finished finished) override;
    void requestStop(std::string line) override;

private:
    JobStop* running_ = nullptr;
};

} // namespace scheduler
