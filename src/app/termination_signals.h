#pragma once
// SIGTERM and SIGINT (and, when asked for, SIGHUP) handled on a thread of their own: the handler
// only writes the signal's number to a pipe, the thread reads it. While no run is in progress the
// signal is passed on as a Qt signal on the GUI thread. A run holds the GUI thread for as long as
// a backup statement waits for the server (hours, or for ever when the server stopped
// answering), so while one is in progress the thread ends the run itself and the process with
// it. One object at a time may exist.

#include <QObject>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace app {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // With `withHangup` SIGHUP is caught too and reported as hangupReceived.
    explicit TerminationSignals(QObject* parent = nullptr, bool withHangup = false);
    ~TerminationSignals() override;

    // Until runEnded(), SIGTERM and SIGINT call `endRun` (with the signal's number) on the signal
    // thread instead of reaching the GUI thread; `endRun` ends the process and does not return.
    void runStarted(std::function<void(int)> endRun);
    // Called by the run's thread when the run is over. When a signal is ending the run, it never
    // returns: the ending decides how the process exits.
    void runEnded();

signals:
    void terminationRequested();
    void hangupReceived();

private:
    void watch();
    void dispatch(char signal);

    int readFd_ = -1;
    bool withHangup_ = false;
    std::thread watcher_;
    std::mutex mutex_;
    std::function<void(int)> endRun_;
    bool ending_ = false;
    std::atomic<bool> terminationPassedOn_{false};
};

} // namespace app
