#pragma once
// The set-up as a terminal dialogue: plain questions, the current value in brackets (Enter keeps
// it), each answer checked when it is given, so that what is finally written passes the check
// made before every run. It logs in with the login given before it asks anything that depends on
// the server, and lets the person choose among the server's databases.

#include "core/context.h"
#include "core/settings_check.h"
#include "setup/answers.h"
#include "setup/prompter.h"
#include "setup/server_check.h"

#include <optional>
#include <string>
#include <vector>

namespace setup {

struct DialogueResult {
    Answers answers;
    std::vector<std::string> serverDatabases; // the server's user databases, as listed at the login
};

// nullopt when the person ends the input or declines to write; nothing has been written then.
std::optional<DialogueResult> runDialogue(const core::ProgramContext& ctx, Prompter& prompter, ServerCheck& server,
                                          const core::FolderQueries& folders, Answers current);

// Reads a yes/no answer: "y", "yes", "n", "no" in any case; nullopt for anything else.
std::optional<bool> parseYesNo(std::string_view text);

// Database names chosen from `listed` by their numbers (1-based) or names, separated by blanks or
// commas, in the order given and without repeats; nullopt when one is neither.
std::optional<std::vector<std::string>> chooseDatabases(std::string_view text, const std::vector<std::string>& listed);

} // namespace setup
