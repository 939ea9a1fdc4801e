#include "app/termination_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace app {
namespace {

// The write end of the pipe; a signal handler can reach nothing else.
volatile std::sig_atomic_t writeFd = -1;

extern "C" void onTerminationSignal(int signal) {
    const int savedErrno = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int), bool withHangup) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    if (withHangup)
        ::sigaction(SIGHUP, &sa, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent, bool withHangup) : QObject(parent), withHangup_(withHangup) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action: the program still ends
    readFd_ = fds[0];
    writeFd = fds[1];
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::drain);
    setHandler(onTerminationSignal, withHangup_);
}

TerminationSignals::~TerminationSignals() {
    if (readFd_ < 0)
        return;
    setHandler(SIG_DFL, withHangup_);
    ::close(writeFd);
    writeFd = -1;
    ::close(readFd_);
}

void TerminationSignals::drain() {
    char buf[16];
    bool terminate = false, hangup = false;
    for (ssize_t n; (n = ::read(readFd_, buf, sizeof buf)) > 0;)
        for (ssize_t i = 0; i < n; ++i)
            (buf[i] == SIGHUP ? hangup : terminate) = true;
    if (hangup)
        emit hangupReceived();
    if (terminate)
        emit terminationRequested();
}

} // namespace app
