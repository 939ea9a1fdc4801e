#include "setup/prompter.h"

#include "common/string_utils.h"
#include "platform/terminal.h"

#include <cstdio>

namespace setup {

std::optional<std::string> TerminalPrompter::ask(std::string_view question, std::string_view def) {
    const std::string prompt = std::string(question) + (def.empty() ? "" : " [" + std::string(def) + "]") + ": ";
    const auto line = platform::readInputLine(prompt, stdout);
    if (!line)
        return std::nullopt;
    const std::string answer = common::trim(*line);
    return answer.empty() ? std::string(def) : answer;
}

std::optional<std::string> TerminalPrompter::askSecret(std::string_view question) {
    return platform::readSecretLine(std::string(question) + ": ", stdout);
}

void TerminalPrompter::say(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace setup
