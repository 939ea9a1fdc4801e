#pragma once
// Stopping a piece of work from another thread. A stop must end a statement that may wait hours
// for the server; SQLCancel is the one ODBC call allowed on a statement that another thread is
// running, so every running statement of the work is known here. Once its group is cancelled,
// the work's sessions refuse new statements and connections, so that the stopped work cannot
// start the next one. Work that still has something to do on the server after a stop (releasing
// a lock row, dropping a scratch database) does it outside the group.

#include <atomic>
#include <mutex>
#include <set>

namespace data {

// The statements of one piece of work, which a stop cancels together.
class StatementGroup {
public:
    // Cancels every statement of the group that is running now and refuses new ones from then on.
    // Safe to call from any thread, also more than once.
    void cancel();
    bool cancelled() const { return cancelled_; }

private:
    friend class RunningStatement;
    std::atomic<bool> cancelled_{false};
    // Held while SQLCancel runs, so that a statement cannot be freed under it: its
    // RunningStatement ends (and waits here) before the handle is freed.
    std::mutex mutex_;
    std::set<void*> running_;
};

// While alive, the calling thread's statements belong to `group`; scopes nest.
class StatementGroupScope {
public:
    explicit StatementGroupScope(StatementGroup* group);
    ~StatementGroupScope();
    StatementGroupScope(const StatementGroupScope&) = delete;
    StatementGroupScope& operator=(const StatementGroupScope&) = delete;

private:
    StatementGroup* previous_;
};

// Whether the calling thread's group was cancelled; false outside a group.
bool statementsCancelled();

// While alive, `statement` (an ODBC statement handle) is running and can be cancelled with the
// calling thread's group.
class RunningStatement {
public:
    explicit RunningStatement(void* statement);
    ~RunningStatement();
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;

private:
    StatementGroup* group_;
    void* statement_;
};

} // namespace data
