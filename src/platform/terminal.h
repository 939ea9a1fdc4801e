#pragma once
// Lines typed at a terminal: plain answers, and secrets typed without echo. The terminal's echo
// is put back when the line is read, and also when a signal ends the program meanwhile: a shell
// left without echo looks broken to whoever typed.

#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// Whether standard input is a terminal.
bool inputIsTerminal();

// One line of standard input without its line end; nullopt at its end. `prompt` goes to `promptTo`
// first.
std::optional<std::string> readInputLine(const std::string& prompt, std::FILE* promptTo);

// The same with echo switched off on a terminal. From a pipe the line is read as it comes and no
// prompt is written: nobody is there to read it.
std::optional<std::string> readSecretLine(const std::string& prompt, std::FILE* promptTo);

} // namespace platform
