#include "app/run_ending.h"

#include "core/connection.h"
#include "core/context.h"
#include "core/daily_log.h"
#include "core/lock_table.h"
#include "data/statement_cancel.h"
#include "platform/local_filesystem.h"
#include "scheduler/due_tick.h"

#include <condition_variable>
#include <csignal>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace app {
namespace {

struct Done {
    std::mutex mutex;
    std::condition_variable cv;
    bool released = false;
};

// On a connection of its own: the run's connection is busy with the cancelled statement.
void releaseLockRow(const RunEnding& run, const std::shared_ptr<Done>& done) {
    data::exemptThisThreadFromCancel();
    // Nobody can answer a box from this thread, and the GUI's sink belongs to the GUI thread: what
    // goes wrong while the row is released is left to the next run, which clears the row itself.
    platform::SilentUiSink sink;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(*run.clock, sink, files, run.programDir);
    core::DbSession session;
    if (core::fnGetDbObject(ctx, session))
        core::fnDeleteLockRows(session, scheduler::kOwnLockName);
    session.release();
    const std::lock_guard lock(done->mutex);
    done->released = true;
    done->cv.notify_all();
}

} // namespace

std::string signalEndLine(int signal) {
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "シグナル";
    return std::string("---------スケジュールバックアップ ") + name + " により中断しました---------";
}

void endRunOnSignal(const RunEnding& run, int signal) {
    core::DailyLog(run.dailyLog, *run.clock).section(signalEndLine(signal));
    // Either call may wait for a server that stopped answering (SQLCancel waits for the driver's
    // lock in some driver managers): each gets a thread of its own and only the wait is bounded.
    std::thread(data::cancelRunningStatements).detach();
    auto done = std::make_shared<Done>();
    std::thread([run, done] { releaseLockRow(run, done); }).detach();
    {
        std::unique_lock lock(done->mutex);
        done->cv.wait_for(lock, run.releaseWait, [&] { return done->released; });
    }
    ::_exit(run.statusFromSignal ? 128 + signal : 0);
}

} // namespace app
