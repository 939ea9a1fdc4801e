#pragma once
// The purge of the product's temporary mail and EDI logs at the end of every run.

#include "scheduler/context.h"

#include <optional>
#include <string_view>

namespace backup {

// The date-time written in the first 14 characters of a work-folder name (yyyymmddhhnnss).
std::optional<platform::LocalTime> dateInName(std::string_view name);

void sbDeleteTempLog(scheduler::ProgramContext& ctx);

} // namespace backup
