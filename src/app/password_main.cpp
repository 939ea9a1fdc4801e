// encrt-password [--config-dir DIR]: reads a password from standard input (without echo on a
// terminal), creates the key file in DIR when it is missing, and prints the text to store under
// MSDE_DBTOOL.INI [(local)] PASSWORD.

#include "common/password.h"
#include "platform/codepage.h"
#include "platform/paths.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::string_view kUsage = "Usage: encrt-password [--config-dir DIR]\n"
                                    "Reads a password from standard input (twice on a terminal) and prints the\n"
                                    "text to store under MSDE_DBTOOL.INI [(local)] PASSWORD. The key file is\n"
                                    "created in DIR when it is missing. Without --config-dir DIR is the settings\n"
                                    "folder of encrt-schedule-backup: this program's folder when it holds\n"
                                    "MSDE_DBTOOL.INI, otherwise $XDG_CONFIG_HOME/encrt-schedule-backup\n"
                                    "(~/.config/...), created.\n";

// The terminal as it was before echo was switched off, for the signal handler to put back.
struct termios savedTerminal {};
volatile std::sig_atomic_t echoIsOff = 0;

extern "C" void restoreTerminalAndDie(int sig) {
    if (echoIsOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

// Switches echo off on a terminal for its lifetime; a pipe is left alone.
class EchoOff {
public:
    explicit EchoOff(const char* prompt) {
        if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
            return;
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
            std::signal(sig, restoreTerminalAndDie);
        struct termios quiet = savedTerminal;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        echoIsOff = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        std::fputs(prompt, stderr);
    }
    ~EchoOff() {
        if (echoIsOff)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
        echoIsOff = 0;
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

std::optional<std::string> readLine(const char* prompt) {
    EchoOff echoOff(prompt);
    std::string line;
    if (!std::getline(std::cin, line) && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// On a terminal the password is typed blind: it is asked twice so that a typing error is not
// stored, to fail every login later.
std::optional<std::string> readPassword() {
    std::optional<std::string> password = readLine("Password: ");
    if (!password)
        std::cerr << "encrt-password: no password on standard input\n";
    if (!password || !::isatty(STDIN_FILENO))
        return password;
    std::optional<std::string> again = readLine("Password again: ");
    const bool same = again && *again == *password;
    if (again)
        common::wipe(*again);
    if (!same) {
        common::wipe(*password);
        std::cerr << "encrt-password: the two passwords differ; nothing was stored\n";
        return std::nullopt;
    }
    return password;
}

// Why the password cannot be stored, or "".
std::string refusal(const std::string& password) {
    if (password.empty())
        return "the password is empty";
    // FreeTDS reads a braced value of the connection string up to the first "};" and undoes no
    // quoting, so no connection string can carry such a password.
    if (password.find("};") != std::string::npos)
        return "the password holds \"};\", which an ODBC connection string cannot carry";
    // The password travels in code page 932: a character it cannot hold would be stored as "?"
    // and the login would fail later with nothing to say why.
    if (platform::fromCp932(platform::toCp932(password)) != password)
        return "the password holds a character that code page 932 cannot represent";
    return {};
}

int usageError(const std::string& message) {
    std::cerr << "encrt-password: " << message << "\n" << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    // No core file or same-user debugger gets at the password this program reads.
    ::prctl(PR_SET_DUMPABLE, 0);
    std::optional<std::filesystem::path> given;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "encrt-password " ENCRT_VERSION "\n";
            return 0;
        }
        if (arg == "--config-dir" && i + 1 < argc)
            given = argv[++i];
        else if (arg.starts_with("--config-dir="))
            given = std::string(arg.substr(13));
        else
            return usageError("unexpected argument \"" + std::string(arg) + "\"");
    }
    // The resident program's own rule, so that the key lands beside the settings it deciphers.
    const std::filesystem::path dir =
        given ? *given
              : platform::defaultSettingsFolder(platform::executableFolder(), "MSDE_DBTOOL.INI",
                                                "encrt-schedule-backup", true);
    if (std::error_code ec; !std::filesystem::is_directory(dir, ec))
        return usageError("\"" + dir.string() + "\" is not a folder");

    std::optional<std::string> password = readPassword();
    if (!password)
        return 1;
    if (const std::string why = refusal(*password); !why.empty()) {
        common::wipe(*password);
        std::cerr << "encrt-password: " << why << "; nothing was stored\n";
        return 1;
    }
    const std::filesystem::path keyFile = common::passwordKeyPath(dir);
    if (const std::error_code ec = common::ensurePasswordKey(keyFile)) {
        std::cerr << "encrt-password: cannot create the key file " << keyFile.string() << ": " << ec.message() << "\n";
        return 1;
    }
    const std::optional<std::string> stored = common::encipherPassword(keyFile, *password);
    common::wipe(*password);
    if (!stored) {
        std::cerr << "encrt-password: cannot read the key file " << keyFile.string() << "\n";
        return 1;
    }
    std::cout << *stored << "\n";
    return 0;
}
