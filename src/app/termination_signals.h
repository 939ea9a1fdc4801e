#pragma once
// SIGTERM and SIGINT turned into a Qt signal on the GUI thread: the handler only writes a byte to
// a pipe, a socket notifier reads it in the event loop. One object at a time may exist.

#include <QObject>

class QSocketNotifier;

namespace app {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    void drain();

    int readFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace app
