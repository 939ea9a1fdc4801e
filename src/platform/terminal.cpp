#include "platform/terminal.h"

#include <csignal>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

// The terminal as it was before echo was switched off, for the signal handler to put back.
struct termios savedTerminal {};
volatile std::sig_atomic_t echoIsOff = 0;

extern "C" void restoreTerminalAndDie(int sig) {
    if (echoIsOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Switches echo off on a terminal for its lifetime and writes the prompt; a pipe is left alone.
class EchoOff {
public:
    EchoOff(const std::string& prompt, std::FILE* promptTo) {
        if (!inputIsTerminal() || ::tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
            return;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(sig, restoreTerminalAndDie);
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        echoIsOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        std::fputs(prompt.c_str(), promptTo);
        std::fflush(promptTo);
    }
    ~EchoOff() {
        if (echoIsOff)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
        echoIsOff = 0;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

std::optional<std::string> readLine() {
    std::string line;
    if (!std::getline(std::cin, line) && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

bool inputIsTerminal() {
    return ::isatty(STDIN_FILENO) == 1;
}

std::optional<std::string> readInputLine(const std::string& prompt, std::FILE* promptTo) {
    std::fputs(prompt.c_str(), promptTo);
    std::fflush(promptTo);
    return readLine();
}

std::optional<std::string> readSecretLine(const std::string& prompt, std::FILE* promptTo) {
    const EchoOff echoOff(prompt, promptTo);
    return readLine();
}

} // namespace platform
