#pragma once
// --restore-check: the restore check, headless, ended early by SIGTERM or SIGINT.

#include "app/command_line.h"

namespace app {

// Prints one line per database to standard output and returns the check's exit status (0 to 2).
int runRestoreCheck(const Options& options);

} // namespace app
