#pragma once
// The purge of the product's temporary mail and EDI logs at the end of every run.

#include "scheduler/run_report.h"

#include <optional>
#include <string_view>

namespace backup {

// The date-time written in the first 14 characters of a work-folder name (yyyymmddhhnnss).
std::optional<platform::LocalTime> dateInName(std::string_view name);

// Nothing it meets counts against the run: a deletion is logged before it is tried.
void sbDeleteTempLog(const scheduler::ProgramContext& ctx, const scheduler::RunPlan& plan);

} // namespace backup
