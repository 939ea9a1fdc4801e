#pragma once
// The purge of the product's temporary mail and EDI logs at the end of every run.

#include "core/run_report.h"

#include <optional>
#include <string_view>

namespace backup {

// The date-time written in the first 14 characters of a work-folder name (yyyymmddhhnnss).
std::optional<platform::LocalTime> dateInName(std::string_view name);

// Nothing it meets counts against the run: a deletion is logged before it is tried.
void sbDeleteTempLog(const core::ProgramContext& ctx, const core::RunPlan& plan);

} // namespace backup
