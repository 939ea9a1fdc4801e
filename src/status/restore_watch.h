#pragma once
// The last restore check as --status judges it: a failed chain is critical, a check older than
// the allowed age (or one that could not run) a warning; when no check ever ran, nothing changes.

#include "platform/datetime.h"
#include "restore/check_report.h"

#include <optional>
#include <string>
#include <vector>

namespace status {

struct Problem;

std::vector<Problem> judgeRestoreCheck(const std::optional<restore::CheckReport>& last, platform::LocalTime now,
                                       int maxAgeDays);

// The detail lines of the text report, and the JSON value ("null" when no check ever ran).
std::string restoreCheckText(const std::optional<restore::CheckReport>& last);
std::string restoreCheckJson(const std::optional<restore::CheckReport>& last,
                             std::string (*jsonString)(std::string_view), std::string (*jsonTime)(platform::LocalTime));

} // namespace status
