#pragma once
// The set-up's command line: the settings folder, and the answers as options for configuration
// management tools (--server, --login, --password-file, ... in place of the dialogue's questions).
// The password is never an option's value: the process list would show it to every user.

#include "setup/answers.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace setup {

struct SetupCommandLine {
    std::optional<std::filesystem::path> configDir;
    bool help = false;
    std::string error; // a command line the set-up cannot use
    // The answer options in the order given, each as option name and value.
    std::vector<std::pair<std::string, std::string>> answers;
    bool optionForm() const { return !answers.empty(); }
};

// `arguments` without the program's name; "--setup" itself is among them.
SetupCommandLine parseSetupArguments(const std::vector<std::string>& arguments);

// Reads the password file an option names ("-" is standard input); nullopt when it cannot be read.
using PasswordReader = std::function<std::optional<std::string>(const std::string& file)>;

// Applies the answer options onto the answers read from the folder. `zuzorExists`: ZUZOR.INI is
// there, and a server or product database that differs from its own is refused. Returns "" or
// why the answers cannot be used.
std::string applyAnswerOptions(const SetupCommandLine& commandLine, Answers& answers, bool zuzorExists,
                               const PasswordReader& readPassword);

// What the options must still give: the answers that neither they nor the files hold.
std::vector<std::string> missingAnswers(const Answers& answers);

std::string setupHelp();

} // namespace setup
