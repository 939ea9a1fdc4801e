// encrt-password [--config-dir DIR]: reads a password from standard input (without echo on a
// terminal), creates the key file in DIR when it is missing, and prints the text to store under
// MSDE_DBTOOL.INI [(local)] PASSWORD.

#include "common/password.h"
#include "platform/paths.h"
#include "platform/terminal.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <sys/prctl.h>

namespace {

constexpr std::string_view kUsage = "Usage: encrt-password [--config-dir DIR]\n"
                                    "Reads a password from standard input (twice on a terminal) and prints the\n"
                                    "text to store under MSDE_DBTOOL.INI [(local)] PASSWORD. The key file is\n"
                                    "created in DIR when it is missing. Without --config-dir DIR is the settings\n"
                                    "folder of encrt-schedule-backup: this program's folder when it holds\n"
                                    "MSDE_DBTOOL.INI, otherwise $XDG_CONFIG_HOME/encrt-schedule-backup\n"
                                    "(~/.config/...), created.\n";

std::optional<std::string> readLine(const char* prompt) {
    return platform::readSecretLine(prompt, stderr);
}

// On a terminal the password is typed blind: it is asked twice so that a typing error is not
// stored, to fail every login later.
std::optional<std::string> readPassword() {
    std::optional<std::string> password = readLine("Password: ");
    if (!password)
        std::cerr << "encrt-password: no password on standard input\n";
    if (!password || !platform::inputIsTerminal())
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
    if (const std::string why = common::passwordRefusal(*password); !why.empty()) {
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
