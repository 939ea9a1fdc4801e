#include "data/statement_cancel.h"

#include <sql.h>

#include <atomic>
#include <mutex>
#include <set>

namespace data {
namespace {

std::atomic<bool> cancelled{false};
thread_local bool exempt = false;

// The statements that are running. The mutex is held while SQLCancel runs, so a statement cannot
// be freed under it: its RunningStatement ends (and waits here) before the handle is freed.
std::mutex& runningMutex() {
    static std::mutex m;
    return m;
}
std::set<void*>& running() {
    static std::set<void*> s;
    return s;
}

} // namespace

void cancelRunningStatements() {
    cancelled = true;
    const std::lock_guard lock(runningMutex());
    for (void* statement : running())
        SQLCancel(statement);
}

bool statementsCancelled() {
    return cancelled && !exempt;
}

void exemptThisThreadFromCancel() {
    exempt = true;
}

// A thread exempt from the cancellation is the one that ends the run: its statements are not
// cancelled, and it must not wait for the mutex while SQLCancel may be stuck holding it.
RunningStatement::RunningStatement(void* statement) : statement_(exempt ? nullptr : statement) {
    if (!statement_)
        return;
    const std::lock_guard lock(runningMutex());
    running().insert(statement_);
}

RunningStatement::~RunningStatement() {
    if (!statement_)
        return;
    const std::lock_guard lock(runningMutex());
    running().erase(statement_);
}

} // namespace data
