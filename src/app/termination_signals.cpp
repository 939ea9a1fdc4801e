#include "app/termination_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace app {
namespace {

// The write end of the pipe; a signal handler can reach nothing else.
volatile std::sig_atomic_t writeFd = -1;

// The byte that tells the watching thread to stop (no signal has the number 0).
constexpr char kStop = 0;

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
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return; // the signals keep their default action: the program still ends
    // The handler must never block; the watching thread waits for bytes.
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    readFd_ = fds[0];
    writeFd = fds[1];
    watcher_ = std::thread([this] { watch(); });
    setHandler(onTerminationSignal, withHangup_);
}

TerminationSignals::~TerminationSignals() {
    if (readFd_ < 0)
        return;
    setHandler(SIG_DFL, withHangup_);
    const char stop = kStop;
    [[maybe_unused]] const ssize_t n = ::write(writeFd, &stop, 1);
    watcher_.join();
    ::close(writeFd);
    writeFd = -1;
    ::close(readFd_);
}

void TerminationSignals::watch() {
    for (;;) {
        char byte = kStop;
        const ssize_t n = ::read(readFd_, &byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || byte == kStop)
            return;
        dispatch(byte);
    }
}

void TerminationSignals::dispatch(char signal) {
    if (signal == SIGHUP) {
        QMetaObject::invokeMethod(
            this, [this] { emit hangupReceived(); }, Qt::QueuedConnection);
        return;
    }
    if (!terminationPassedOn_.exchange(true)) // the program ends once, however often it is asked
        QMetaObject::invokeMethod(
            this, [this, signal] { emit terminationRequested(int(signal)); }, Qt::QueuedConnection);
}

std::string signalEndLine(int signal) {
    const char* name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "シグナル";
    return std::string("---------スケジュールバックアップ ") + name + " により中断しました---------";
}

} // namespace app
