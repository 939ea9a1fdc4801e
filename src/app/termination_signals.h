#pragma once
// SIGTERM and SIGINT (and, when asked for, SIGHUP) handled on a thread of their own: the handler
// only writes the signal's number to a pipe, the thread reads it and passes it on as a Qt signal
// on the GUI thread, which a running backup never holds. One object at a time may exist.

#include <QObject>

#include <atomic>
#include <string>
#include <thread>

namespace app {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // With `withHangup` SIGHUP is caught too and reported as hangupReceived.
    explicit TerminationSignals(QObject* parent = nullptr, bool withHangup = false);
    ~TerminationSignals() override;

signals:
    // SIGTERM or SIGINT, once however often it arrives.
    void terminationRequested(int signal);
    void hangupReceived();

private:
    void watch();
    void dispatch(char signal);

    int readFd_ = -1;
    bool withHangup_ = false;
    std::thread watcher_;
    std::atomic<bool> terminationPassedOn_{false};
};

// The daily-log line that ends a run stopped by `signal`.
std::string signalEndLine(int signal);

} // namespace app
