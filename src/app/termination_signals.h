#pragma once
// SIGTERM and SIGINT (and, when asked for, SIGHUP) turned into Qt signals on the GUI thread: the
// handler only writes the signal's number to a pipe, a socket notifier reads it in the event loop.
// One object at a time may exist.

#include <QObject>

class QSocketNotifier;

namespace app {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // With `withHangup` SIGHUP is caught too and reported as hangupReceived.
    explicit TerminationSignals(QObject* parent = nullptr, bool withHangup = false);
    ~TerminationSignals() override;

signals:
    void terminationRequested();
    void hangupReceived();

private:
    void drain();

    int readFd_ = -1;
    bool withHangup_ = false;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
