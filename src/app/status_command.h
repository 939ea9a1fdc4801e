#pragma once
// --status: the health check, printed for a person or a monitoring system.

#include "app/command_line.h"

namespace app {

// Prints the report to standard output and returns its exit status (0 to 3).
int runStatus(const Options& options);

} // namespace app
