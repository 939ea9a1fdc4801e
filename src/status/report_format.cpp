#include "status/report_format.h"

#include "platform/utf8.h"
#include "status/restore_watch.h"

#include <cstdio>

namespace status {
namespace {

using platform::LocalTime;

std::string summaryOf(const Report& r) {
    std::string line = std::string(stateName(r.state)) + ": ";
    if (r.problems.empty()) {
        const std::size_t n = r.databases.size();
        return line + "backups of " + std::to_string(n) + (n == 1 ? " database" : " databases") +
               " made as scheduled (grace " + std::to_string(r.graceMinutes) + " minutes)";
    }
    line += r.problems.front().text;
    if (const std::size_t more = r.problems.size() - 1; more > 0)
        line += " (and " + std::to_string(more) + (more == 1 ? " more problem)" : " more problems)");
    return line;
}

std::string ageSeconds(LocalTime then, LocalTime now) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now - then).count());
}

// A label of performance data, quoted as the monitoring-plugin guidelines ask (a quote doubled).
std::string perfLabel(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

// Per database the age of its newest full backup in seconds and its size in bytes; "U" where
// there is none.
std::string performanceData(const Report& r) {
    std::string out;
    for (const DatabaseReport& db : r.databases) {
        const auto& full = db.local.of(core::BackupKind::Full);
        out += " " + perfLabel(db.name + " full age") + "=" +
               (full ? ageSeconds(full->stamp, r.checkedAt) + "s" : "U") + ";;;0";
        out += " " + perfLabel(db.name + " full size") + "=" + (full ? std::to_string(full->size) + "B" : "U") + ";;;0";
    }
    return out.empty() ? out : " |" + out;
}

std::string orNone(const std::optional<LocalTime>& t) {
    return t ? platform::formatDateTime(*t) : "none";
}

void textBackups(std::string& out, const char* prefix, const NewestBackups& b) {
    if (!b.error.empty()) {
        out += std::string("  ") + prefix + "unreadable: " + b.error + "\n";
        return;
    }
    for (core::BackupKind kind : core::kBackupKinds) {
        const auto& file = b.of(kind);
        out += std::string("  ") + prefix + kindName(kind) + ": ";
        out += file ? platform::formatDateTime(file->stamp) + "  " + std::to_string(file->size) + " bytes  " +
                          file->path.string()
                    : "none";
        out += "\n";
    }
}

// JSON text: quotes, backslashes and control characters escaped; bytes that are not UTF-8
// (a file name can hold any) become U+FFFD so that the document stays valid.
std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\', out += char(c), ++i;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf, ++i;
        } else if (c < 0x80) {
            out += char(c), ++i;
        } else {
            const std::size_t len = platform::utf8::validLength(s, i);
            out += len != 0 ? std::string(s.substr(i, len)) : "\xEF\xBF\xBD";
            i += len != 0 ? len : 1;
        }
    }
    return out + "\"";
}

std::string jsonTime(const std::optional<LocalTime>& t) {
    return t ? jsonString(isoTime(*t)) : "null";
}
std::string jsonTimeOf(LocalTime t) {
    return jsonString(isoTime(t));
}

std::string jsonBool(bool b) {
    return b ? "true" : "false";
}

std::string jsonFile(const std::optional<BackupFile>& file) {
    return file ? "{\"time\": " + jsonTime(file->stamp) + ", \"file\": " + jsonString(file->path.string()) +
                      ", \"size\": " + std::to_string(file->size) + "}"
                : "null";
}

std::string jsonBackups(const NewestBackups& b) {
    std::string out = "{";
    for (core::BackupKind kind : core::kBackupKinds)
        out += std::string(kind != core::BackupKind::Full ? ", " : "") + "\"" + std::string(core::kindCode(kind)) +
               "\": " + jsonFile(b.of(kind));
    if (b.future)
        out += ", \"stamped_after_clock\": " + jsonFile(b.future);
    if (!b.error.empty())
        out += ", \"error\": " + jsonString(b.error);
    return out + "}";
}

const char* copyStateName(CopyState c) {
    switch (c) {
    case CopyState::Copied:
        return "copied";
    case CopyState::Missing:
        return "missing";
    case CopyState::SizeDiffers:
        return "size_differs";
    case CopyState::NotJudged:
        break;
    }
    return "not_judged";
}

std::string jsonSchedules(const Report& r) {
    std::string out = "[";
    for (std::size_t k = 0; k < r.kinds.size(); ++k) {
        const KindReport& kind = r.kinds[k];
        out += std::string(k ? ", " : "") + "{\"kind\": \"" + std::string(core::kindCode(kind.kind)) +
               "\", \"name\": \"" + kindName(kind.kind) + "\", \"scheduled\": " + jsonBool(kind.scheduled) +
               ", \"day\": " + jsonString(kind.schedule.dayText) + ", \"time\": " + jsonString(kind.schedule.timeText) +
               ", \"last_due\": " + jsonTime(kind.lastDue) + ", \"next_due\": " + jsonTime(kind.nextDue) + "}";
    }
    return out + "]";
}

std::string jsonDatabases(const Report& r) {
    std::string out = "[";
    for (std::size_t i = 0; i < r.databases.size(); ++i) {
        const DatabaseReport& db = r.databases[i];
        out +=
            std::string(i ? ", " : "") + "{\"name\": " + jsonString(db.name) + ", \"local\": " + jsonBackups(db.local);
        out += ", \"external\": " + (r.externalFolderPresent ? jsonBackups(db.external) : std::string("null"));
        out += ", \"newest_full_copy\": \"" + std::string(copyStateName(db.copy)) + "\"}";
    }
    return out + "]";
}

std::string jsonProblems(const Report& r) {
    std::string out = "[";
    for (std::size_t i = 0; i < r.problems.size(); ++i)
        out += std::string(i ? ", " : "") + "{\"state\": \"" + stateName(r.problems[i].state) +
               "\", \"text\": " + jsonString(r.problems[i].text) + "}";
    return out + "]";
}

std::string jsonLastRun(const Report& r) {
    if (!r.lastRun)
        return "null";
    std::string folders = "[";
    for (std::size_t i = 0; i < r.lastRun->unreadableFolders.size(); ++i)
        folders += std::string(i ? ", " : "") + jsonString(r.lastRun->unreadableFolders[i]);
    return "{\"start\": " + jsonTime(r.lastRun->started) + ", \"end\": " + jsonTime(r.lastRun->finished) +
           ", \"flawless\": " + jsonBool(r.lastRun->flawless) +
           ", \"files_written\": " + std::to_string(r.lastRun->filesWritten) +
           ", \"failures\": " + std::to_string(r.lastRun->failures) + ", \"unreadable_folders\": " + folders + "]}";
}

std::string jsonBackupTime(const SettingsView& s) {
    if (s.backupStart.empty() && s.backupEnd.empty())
        return "null";
    const auto field = [](const std::string& text) {
        const auto t = platform::parseDateTime(text);
        return t ? jsonString(isoTime(*t)) : text.empty() ? std::string("null") : jsonString(text);
    };
    return "{\"start\": " + field(s.backupStart) + ", \"end\": " + field(s.backupEnd) + "}";
}

} // namespace

std::string isoTime(LocalTime t) {
    const auto offset = t.time_since_epoch() -
                        std::chrono::duration_cast<std::chrono::seconds>(platform::fromLocal(t).time_since_epoch());
    const int minutes = int(std::chrono::duration_cast<std::chrono::minutes>(offset).count());
    const int absolute = (minutes < 0 ? -minutes : minutes) % (24 * 60); // zones lie within a day
    char zone[8];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", minutes < 0 ? '-' : '+', absolute / 60 % 24, absolute % 60);
    std::string text = platform::formatDateTime(t); // "yyyy/MM/dd HH:mm:ss"
    text[4] = text[7] = '-';
    text[10] = 'T';
    return text + zone;
}

std::string formatText(const Report& r) {
    std::string out = summaryOf(r) + performanceData(r) + "\n";
    for (const Problem& p : r.problems)
        out += std::string(stateName(p.state)) + "  " + p.text + "\n";
    out += "settings folder: " + r.configDir.string() + "\n";
    out += std::string("resident copy: ") + (r.residentRunning ? "running" : "not running") + "\n";
    const SettingsView& s = r.settings;
    out += "last flawless run (BACKUPTIME): " +
           (s.backupStart.empty() ? std::string("none recorded") : s.backupStart + " to " + s.backupEnd) + "\n";
    if (r.lastRun)
        out += "last run: " + orNone(r.lastRun->started) + " to " + orNone(r.lastRun->finished) + ", " +
               (r.lastRun->flawless ? "flawless" : "not flawless") + ", " + std::to_string(r.lastRun->filesWritten) +
               " backup files, " + std::to_string(r.lastRun->failures) + " failures\n";
    out += restoreCheckText(r.restoreCheck);
    for (const KindReport& kind : r.kinds) {
        out += std::string(kindName(kind.kind)) + " backup: ";
        out += kind.scheduled ? "last due " + orNone(kind.lastDue) + ", next due " + orNone(kind.nextDue)
                              : std::string("not scheduled");
        out += "\n";
    }
    for (const DatabaseReport& db : r.databases) {
        out += "database " + db.name + "\n";
        textBackups(out, "", db.local);
        if (r.externalFolderPresent)
            textBackups(out, "external ", db.external);
    }
    return out;
}

std::string formatJson(const Report& r) {
    std::string out = "{\"state\": \"" + std::string(stateName(r.state)) + "\"";
    out += ", \"exit_status\": " + std::to_string(exitStatusOf(r.state));
    out += ", \"summary\": " + jsonString(summaryOf(r));
    out += ", \"checked_at\": " + jsonTime(r.checkedAt);
    out += ", \"grace_minutes\": " + std::to_string(r.graceMinutes);
    out += ", \"settings_folder\": " + jsonString(r.configDir.string());
    out += ", \"settings_problem\": " +
           (r.settings.failedItem.empty() ? std::string("null") : jsonString(r.settings.failedItem));
    out += ", \"resident_running\": " + jsonBool(r.residentRunning);
    out += ", \"last_flawless_run\": " + jsonBackupTime(r.settings);
    out += ", \"last_run\": " + jsonLastRun(r);
    out += ", \"copying\": " + jsonBool(r.settings.settings.copyEnabled);
    out += ", \"schedules\": " + jsonSchedules(r);
    out += ", \"databases\": " + jsonDatabases(r);
    out += ", \"restore_age_days\": " + std::to_string(r.restoreAgeDays);
    out += ", \"restore_check\": " + restoreCheckJson(r.restoreCheck, jsonString, jsonTimeOf);
    out += ", \"problems\": " + jsonProblems(r);
    return out + "}\n";
}

} // namespace status
