#include "app/status_command.h"

#include "app/single_instance.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "status/health.h"
#include "status/lock_probe.h"
#include "status/report_format.h"

#include <cstdio>

namespace app {

int runStatus(const Options& o) {
    status::Request request;
    request.configDir = o.configDir;
    request.now = o.clockStart ? *o.clockStart : platform::SystemClock().now();
    request.graceMinutes = o.graceMinutes;
    request.restoreAgeDays = o.restoreAgeDays;
    request.residentRunning = status::lockHeld(SingleInstanceLock::lockPathFor(o.configDir));
    const status::Report report = status::checkHealth(request, platform::LocalFileSystem());
    const std::string text = o.statusFormat == Options::StatusFormat::Json      ? status::formatJson(report)
                             : o.statusFormat == Options::StatusFormat::Metrics ? status::formatMetrics(report)
                                                                                : status::formatText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return status::exitStatusOf(report.state);
}

} // namespace app
