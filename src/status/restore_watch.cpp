#include "status/restore_watch.h"

#include "status/health.h"

#include <cstdio>

namespace status {
namespace {

std::string seconds(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f", value);
    return buffer;
}

const char* resultOf(const restore::CheckReport& last) {
    return last.exitStatus() == 0 ? "ok" : last.exitStatus() == 1 ? "failed" : "not run";
}

} // namespace

std::vector<Problem> judgeRestoreCheck(const std::optional<restore::CheckReport>& last, platform::LocalTime now,
                                       int maxAgeDays) {
    std::vector<Problem> problems;
    if (!last)
        return problems;
    const std::string when = platform::formatDateTime(last->started);
    for (const restore::DatabaseResult& d : last->databases)
        if (!d.ok)
            problems.push_back(
                {State::Critical, "restore check of " + when + ": " + d.database + " did not restore: " + d.error});
    if (last->exitStatus() == 2)
        problems.push_back({State::Warning, "the restore check of " + when + " did not run: " + last->cannotRun});
    if (now - last->started > std::chrono::days(maxAgeDays))
        problems.push_back({State::Warning, "the last restore check is of " + when + ", more than " +
                                                std::to_string(maxAgeDays) + " days ago"});
    return problems;
}

std::string restoreCheckText(const std::optional<restore::CheckReport>& last) {
    if (!last)
        return "restore check: never run\n";
    std::string out = "restore check: " + platform::formatDateTime(last->started) + " from the " +
                      restore::sourceName(last->source) + " folder, " + resultOf(*last) + "\n";
    for (const restore::DatabaseResult& d : last->databases)
        out += "  " + d.database + ": " +
               (d.ok ? "restored in " + seconds(d.restoreSeconds) + " s, checked in " + seconds(d.checkSeconds) + " s"
                     : "failed: " + d.error) +
               "\n";
    return out;
}

std::string restoreCheckJson(const std::optional<restore::CheckReport>& last,
                             std::string (*jsonString)(std::string_view),
                             std::string (*jsonTime)(platform::LocalTime)) {
    if (!last)
        return "null";
    std::string out = "{\"time\": " + jsonTime(last->started) + ", \"finished\": " + jsonTime(last->finished) +
                      ", \"source\": " + jsonString(restore::sourceName(last->source)) +
                      ", \"result\": " + jsonString(resultOf(*last)) +
                      ", \"error\": " + (last->cannotRun.empty() ? std::string("null") : jsonString(last->cannotRun)) +
                      ", \"databases\": [";
    for (std::size_t i = 0; i < last->databases.size(); ++i) {
        const restore::DatabaseResult& d = last->databases[i];
        out += std::string(i ? ", " : "") + "{\"name\": " + jsonString(d.database) +
               ", \"result\": " + jsonString(d.ok ? "ok" : "failed") +
               ", \"restore_seconds\": " + seconds(d.restoreSeconds) +
               ", \"check_seconds\": " + seconds(d.checkSeconds) +
               ", \"error\": " + (d.ok ? std::string("null") : jsonString(d.error)) + "}";
    }
    return out + "]}";
}

} // namespace status
