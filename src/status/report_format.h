#pragma once
// The health report as text (first line "STATE: summary | performance data", then the facts, one
// per line), as one JSON object with the same facts, and as metrics in the Prometheus text format.

#include "status/health.h"

#include <string>

namespace status {

std::string formatText(const Report& report);
std::string formatJson(const Report& report);
// The text exposition format read by node_exporter's textfile collector and by Prometheus.
std::string formatMetrics(const Report& report);

// "2026-12-03T02:00:00+09:00": ISO 8601 with this machine's offset at that instant.
std::string isoTime(platform::LocalTime t);

} // namespace status
