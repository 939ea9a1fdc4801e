#pragma once
// The person at the terminal, as the set-up dialogue talks to them: a question with a default
// that Enter keeps, a secret typed without echo, and plain lines.

#include <optional>
#include <string>
#include <string_view>

namespace setup {

class Prompter {
public:
    virtual ~Prompter() = default;
    // The answer, trimmed, or `def` for an empty one; nullopt when the input has ended.
    virtual std::optional<std::string> ask(std::string_view question, std::string_view def) = 0;
    // A line typed without echo, as it was typed; nullopt when the input has ended.
    virtual std::optional<std::string> askSecret(std::string_view question) = 0;
    virtual void say(std::string_view line) = 0;
};

// Standard input and output, the secret without echo on a terminal.
class TerminalPrompter final : public Prompter {
public:
    std::optional<std::string> ask(std::string_view question, std::string_view def) override;
    std::optional<std::string> askSecret(std::string_view question) override;
    void say(std::string_view line) override;
};

} // namespace setup
