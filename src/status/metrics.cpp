#include "status/report_format.h"

#include <chrono>
#include <cstdio>
#include <functional>

namespace status {
namespace {

using platform::LocalTime;

std::string unixSeconds(LocalTime t) {
    return std::to_string(
        std::chrono::duration_cast<std::chrono::seconds>(platform::fromLocal(t).time_since_epoch()).count());
}

// A label value: backslash, double quote and line feed escaped as the text format asks.
std::string labelValue(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\', out += c;
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

using Labels = std::vector<std::pair<std::string_view, std::string>>;

class Family {
public:
    Family(std::string& out, std::string_view name, std::string_view help) : out_(out), name_(name) {
        out_ += "# HELP " + name_ + " " + std::string(help) + "\n# TYPE " + name_ + " gauge\n";
    }
    void sample(const Labels& labels, const std::string& value) {
        out_ += name_;
        for (std::size_t i = 0; i < labels.size(); ++i)
            out_ += (i ? "," : "{") + std::string(labels[i].first) + "=\"" + labelValue(labels[i].second) + "\"";
        out_ += (labels.empty() ? " " : "} ") + value + "\n";
    }

private:
    std::string& out_;
    std::string name_;
};

void backupSamples(std::string& out, const Report& r) {
    Family stamp(out, "encrt_backup_timestamp_seconds", "Run time stamped in the name of the newest backup.");
    Family age(out, "encrt_backup_age_seconds", "Seconds from the newest backup's run time to the check.");
    Family size(out, "encrt_backup_size_bytes", "Size of the newest backup file.");
    for (const DatabaseReport& db : r.databases) {
        const auto place = [&](const char* where, const NewestBackups& backups) {
            for (core::BackupKind kind : core::kBackupKinds) {
                const auto& file = backups.of(kind);
                if (!file)
                    continue;
                const Labels labels{{"database", db.name}, {"kind", kindName(kind)}, {"place", where}};
                stamp.sample(labels, unixSeconds(file->stamp));
                age.sample(labels,
                           std::to_string(
                               std::chrono::duration_cast<std::chrono::seconds>(r.checkedAt - file->stamp).count()));
                size.sample(labels, std::to_string(file->size));
            }
        };
        place("local", db.local);
        if (r.externalFolderPresent)
            place("external", db.external);
    }
}

// The last restore check, when one ever ran; each family's samples together.
void restoreSamples(std::string& out, const Report& r) {
    if (!r.restoreCheck)
        return;
    const restore::CheckReport& check = *r.restoreCheck;
    Family(out, "encrt_restore_check_timestamp_seconds", "Start of the last restore check.")
        .sample({}, unixSeconds(check.started));
    Family(out, "encrt_restore_check_status",
           "Last restore check: 0 every chain restored and checked, 1 a chain failed, 2 it could not run.")
        .sample({}, std::to_string(check.exitStatus()));
    const auto perDatabase = [&](std::string_view name, std::string_view help, auto value) {
        Family family(out, name, help);
        for (const restore::DatabaseResult& d : check.databases)
            family.sample({{"database", d.database}}, value(d));
    };
    perDatabase("encrt_restore_check_ok",
                "Whether the database's chain restored and checked in the last restore check.",
                [](const restore::DatabaseResult& d) { return std::string(d.ok ? "1" : "0"); });
    const auto seconds = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", value);
        return std::string(text);
    };
    perDatabase("encrt_restore_check_restore_seconds", "Seconds the database's chain took to restore.",
                [&](const restore::DatabaseResult& d) { return seconds(d.restoreSeconds); });
    perDatabase("encrt_restore_check_check_seconds", "Seconds DBCC CHECKDB took on the restored database.",
                [&](const restore::DatabaseResult& d) { return seconds(d.checkSeconds); });
}

} // namespace

std::string formatMetrics(const Report& r) {
    std::string out;
    Family(out, "encrt_status", "State of the backups as --status tells it: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.")
        .sample({}, std::to_string(exitStatusOf(r.state)));
    Family problems(out, "encrt_problems", "Problems the check found, by state.");
    for (State s : {State::Warning, State::Critical, State::Unknown}) {
        std::size_t n = 0;
        for (const Problem& p : r.problems)
            n += p.state == s ? 1 : 0;
        std::string name = stateName(s);
        for (char& c : name)
            c = char(c - 'A' + 'a');
        problems.sample({{"state", name}}, std::to_string(n));
    }
    if (r.checkedAt != LocalTime{})
        Family(out, "encrt_check_timestamp_seconds", "When the check was made.").sample({}, unixSeconds(r.checkedAt));
    Family(out, "encrt_resident_running", "Whether a resident copy holds the settings folder's lock (1) or not (0).")
        .sample({}, r.residentRunning ? "1" : "0");
    if (const auto start = platform::parseDateTime(r.settings.backupStart))
        Family(out, "encrt_last_flawless_run_timestamp_seconds",
               "Start of the last run recorded as flawless ([BACKUPTIME] START).")
            .sample({}, unixSeconds(*start));
    if (r.lastRun)
        Family(out, "encrt_last_run_unreadable_folders", "Folders the last run could not read.")
            .sample({}, std::to_string(r.lastRun->unreadableFolders.size()));
    backupSamples(out, r);
    restoreSamples(out, r);
    if (r.externalFolderPresent) {
        Family copied(out, "encrt_backup_copied",
                      "Whether the newest full backup has a copy of the same size at the external folder.");
        for (const DatabaseReport& db : r.databases)
            if (db.copy != CopyState::NotJudged)
                copied.sample({{"database", db.name}}, db.copy == CopyState::Copied ? "1" : "0");
    }
    return out;
}

} // namespace status
