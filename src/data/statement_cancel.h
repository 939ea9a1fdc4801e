#pragma once
// Ending a run from another thread. A signal must stop a statement that may wait hours for the
// server; SQLCancel is the one ODBC call allowed on a statement that another thread is running,
// so every running statement is known here. After cancelRunningStatements() the sessions refuse
// new statements and connections, so that the cancelled run cannot start the next one; a thread
// that still has work to do on the server (releasing the lock row) opts out of that refusal.

namespace data {

// Cancels every statement that is running now and refuses new ones from then on (process-wide,
// for the rest of the process's life). Safe to call from any thread.
void cancelRunningStatements();
bool statementsCancelled();

// The calling thread's sessions keep working after a cancellation.
void exemptThisThreadFromCancel();

// While alive, `statement` (an ODBC statement handle) is running and can be cancelled.
class RunningStatement {
public:
    explicit RunningStatement(void* statement);
    ~RunningStatement();
    RunningStatement(const RunningStatement&) = delete;
    RunningStatement& operator=(const RunningStatement&) = delete;

private:
    void* statement_;
};

} // namespace data
