// Five weeks of the scheduler, minute by minute on a manual clock, against the stand-in server:
// full backups on Monday and Thursday at 02:00, differential ones on the other weekdays at 02:00,
// a log backup every hour of the working day, copies to the external folder. Ticks come late,
// minutes are skipped and the machine sleeps for a day, as real machines do. At the end every
// due run must have happened exactly once, and the local and external folders must hold exactly
// the files that retention and the same-day clean-ups leave.
//
// The files expected are worked out by a model of the rules that is independent of the program:
// runs are due for scheduled minutes in (previous tick, current tick] unless the ticks lie more
// than a day apart; each run removes what has expired (by the clock and counted from the newest
// full backup of the same database, whose chain always stays), then keeps only the newest earlier
// full backup of the day for the product database and the system databases, then adds its own
// files.

#include "support/run_site.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using platform::LocalTime;
using platform::makeLocalTime;
using std::chrono::days;
using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;
using testsupport::RunSite;

constexpr int kLocalTerm = 7;
constexpr int kExternalTerm = 10;

struct ScheduledRun {
    LocalTime time;
    std::array<std::string, 3> kinds;
    bool operator==(const ScheduledRun&) const = default;
};

std::string describe(const std::vector<ScheduledRun>& runs) {
    std::string out;
    for (const auto& r : runs)
        out += platform::formatDateTime(r.time) + " " + r.kinds[0] + "/" + r.kinds[1] + "/" + r.kinds[2] + "\n";
    return out;
}

// Weekday 0 = Sunday ... 6 = Saturday.
unsigned weekdayOf(LocalTime t) {
    return std::chrono::weekday{platform::dayOf(t)}.c_encoding();
}
bool isWorkday(LocalTime t) {
    return weekdayOf(t) >= 1 && weekdayOf(t) <= 5;
}

// When the administrator's day on Monday 30 November holds two extra full backups.
const LocalTime kExtraFullDay = makeLocalTime(2026, 11, 30);

// The scheduled instants of one calendar day.
struct DaySchedule {
    std::vector<LocalTime> full, diff, log;
};

DaySchedule scheduleOf(platform::LocalDays day) {
    DaySchedule s;
    const LocalTime midnight{day};
    const unsigned wd = weekdayOf(midnight);
    if (wd == 1 || wd == 4) {
        s.full.push_back(midnight + hours(2));
        if (midnight == kExtraFullDay) {
            s.full.push_back(midnight + hours(13));
            s.full.push_back(midnight + hours(15));
        }
    }
    if (wd == 2 || wd == 3 || wd == 5)
        s.diff.push_back(midnight + hours(2));
    if (isWorkday(midnight))
        for (int h = 9; h <= 17; ++h)
            s.log.push_back(midnight + hours(h));
    return s;
}

// Which kinds the rules make due at a tick.
std::array<std::string, 3> dueBetween(LocalTime previous, LocalTime current) {
    const LocalTime from = platform::floorToMinute(previous), to = platform::floorToMinute(current);
    std::array<std::string, 3> kinds{"", "", ""};
    if (to > from + hours(24))
        return kinds;
    const auto inWindow = [&](const std::vector<LocalTime>& instants) {
        return std::any_of(instants.begin(), instants.end(), [&](LocalTime s) { return from < s && s <= to; });
    };
    for (auto day = platform::dayOf(from); day <= platform::dayOf(to); day += days(1)) {
        const DaySchedule s = scheduleOf(day);
        if (inWindow(s.full))
            kinds[0] = "INIT";
        if (inWindow(s.diff))
            kinds[1] = "DIFF";
        if (inWindow(s.log))
            kinds[2] = "LOG";
    }
    return kinds;
}

// The files a folder should hold: relative path -> the run time that made it.
using Files = std::map<std::string, LocalTime>;

bool expiredOn(LocalTime made, LocalTime day, int term) {
    return platform::dayOf(made) + days(term) <= platform::dayOf(day);
}

// The database a backup belongs to in its folder: "SABRELUND/SABRELUND", or "MASTER" at the root.
std::string chainOf(const std::string& path) {
    const fs::path p(path);
    const std::string name = p.filename().string();
    return (p.parent_path() / name.substr(0, name.find('_'))).string();
}

// The newest full backup of each database, made no later than `runTime`.
std::map<std::string, LocalTime> newestFullBackups(const Files& files, LocalTime runTime) {
    std::map<std::string, LocalTime> newest;
    for (const auto& [path, made] : files)
        if (path.ends_with("_INIT.DAT") && made <= runTime && made > newest[chainOf(path)])
            newest[chainOf(path)] = made;
    return newest;
}

// A backup goes when its day plus the term is the run's day or earlier, and it is older than the
// newest full backup of its database and expired counted from that one too.
void expire(Files& files, LocalTime runTime, int term) {
    const auto newest = newestFullBackups(files, runTime);
    std::erase_if(files, [&](const auto& f) {
        const auto anchor = newest.find(chainOf(f.first));
        return f.first.ends_with(".DAT") && expiredOn(f.second, runTime, term) &&
               (anchor == newest.end() || (f.second < anchor->second && expiredOn(f.second, anchor->second, term)));
    });
}

// The daily logs count from the newest full backup of the whole folder in the same way.
void expireLogs(Files& logs, const Files& backups, LocalTime runTime, int term) {
    LocalTime anchor{};
    for (const auto& [chain, made] : newestFullBackups(backups, runTime))
        anchor = std::max(anchor, made);
    std::erase_if(logs, [&](const auto& log) {
        return expiredOn(log.second, runTime, term) && (anchor == LocalTime{} || expiredOn(log.second, anchor, term));
    });
}

// Keeps only the last listed (newest) of the day's full backups named `prefix`.
void sameDayCleanUp(Files& files, const std::string& prefix, LocalTime today) {
    const std::string stem = prefix + "_" + platform::formatYmd(today);
    std::vector<std::string> found;
    for (const auto& [path, made] : files)
        if (fs::path(path).filename().string().starts_with(stem) && path.ends_with("_INIT.DAT"))
            found.push_back(path);
    for (std::size_t i = 0; i + 1 < found.size(); ++i)
        files.erase(found[i]);
}

void addRunFiles(Files& files, const ScheduledRun& run, bool withCleanUps) {
    const std::string stamp = platform::formatYmdHms(run.time);
    const auto add = [&](const std::string& db, const std::string& kind) {
        files[db + "/" + db + "_" + stamp + "_" + kind + ".DAT"] = run.time;
    };
    if (!run.kinds[0].empty()) {
        if (withCleanUps)
            sameDayCleanUp(files, "SABRELUND", run.time);
        add("SABRELUND", "INIT");
        for (const char* system : {"MASTER", "MSDB", "MODEL"}) {
            if (withCleanUps)
                sameDayCleanUp(files, system, run.time);
            files[std::string(system) + "_" + stamp + "_INIT.DAT"] = run.time;
        }
        add("SALES", "INIT");
    }
    if (!run.kinds[1].empty()) {
        add("SABRELUND", "DIFF");
        add("SALES", "DIFF");
    }
    if (!run.kinds[2].empty()) {
        add("SABRELUND", "LOG");
        add("SALES", "LOG");
    }
}

std::set<std::string> datFilesBelow(const fs::path& root) {
    std::set<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && e.path().extension() == ".DAT")
            out.insert(fs::relative(e.path(), root).string());
    return out;
}

std::set<std::string> keysOf(const Files& files) {
    std::set<std::string> out;
    for (const auto& [path, made] : files)
        out.insert(path);
    return out;
}

class SimulatedMonth {
public:
    SimulatedMonth() {
        site.ini["Schedule"]["LocalPreserveTerm"] = std::to_string(kLocalTerm);
        site.ini["ScheduleAll"] = {{"Day", "9"}, {"Time", "02:00"}};
        site.ini["ScheduleDiff"] = {{"Day", "22"}, {"Time", "02:00"}};
        site.ini["ScheduleLOG"] = {{"Day", "31"}, {"Time", "09:00"}};
        site.copyOn();
        site.ini["FILE_COPY"]["OutSidePreserveTerm"] = std::to_string(kExternalTerm);
        site.applySettings();
        site.services.runBackup = [this](core::ProgramContext& ctx, const scheduler::TickState& state,
                                         const core::Settings& settings,
                                         const auto&) { return recordRun(ctx, state, settings); };
    }

    // Drives the tick from the start time to `end`, one minute at a time with the disturbances
    // of a real machine, and asks the model at every tick what should run.
    void runUntil(LocalTime end) {
        LocalTime previous = site.clock.now();
        LocalTime t = previous + seconds(75);
        for (int n = 1; t < end; ++n) {
            steerLogSchedule(previous);
            if (const auto kinds = dueBetween(previous, t); kinds != std::array<std::string, 3>{"", "", ""})
                expected.push_back({t, kinds});
            site.tickAt(t);
            previous = t;
            t = next(t, n);
        }
    }

    RunSite site{{}, makeLocalTime(2026, 11, 1, 0, 0, 0)};
    std::vector<ScheduledRun> actual, expected;

private:
    static LocalTime next(LocalTime t, int n) {
        const auto at = [&](int y, unsigned mo, unsigned d, int h, int mi) {
            return platform::floorToMinute(t) == makeLocalTime(y, mo, d, h, mi);
        };
        if (at(2026, 11, 5, 1, 58)) // a skipped stretch over a full backup
            return t + minutes(5);
        if (at(2026, 11, 17, 20, 0)) // asleep for 25 hours: what fell due meanwhile is not made up
            return t + hours(25);
        if (at(2026, 11, 21, 23, 58)) // a gap across midnight
            return t + minutes(5);
        if (at(2026, 11, 24, 10, 58)) // a gap over an hourly log backup
            return t + minutes(6);
        if (n % 97 == 0) // a late tick
            return t + seconds(100);
        return t + seconds(60);
    }

    // The program keeps one time per kind; the log time is moved along the working day to the
    // next full hour after the previous tick, as an administrator's script would.
    void steerLogSchedule(LocalTime previous) {
        const auto hour = std::chrono::floor<hours>(platform::timeOfDayMinutes(previous)).count();
        char wanted[6];
        std::snprintf(wanted, sizeof wanted, "%02d:00", hour >= 9 && hour < 17 ? int(hour) + 1 : 9);
        if (site.tick.settings().current().schedule(core::BackupKind::Log).timeText == wanted)
            return;
        site.ini["ScheduleLOG"]["Time"] = wanted;
        site.applySettings();
    }

    core::RunReport recordRun(core::ProgramContext& ctx, const scheduler::TickState& state,
                              const core::Settings& settings) {
        ScheduledRun run{*state.currentTick, {}};
        for (core::BackupKind kind : core::kBackupKinds)
            if (state.due.has(kind))
                run.kinds[core::Settings::slotOf(kind)] = core::kindCode(kind);
        actual.push_back(run);
        auto report = backup::sbScheduleBackupRun(ctx, state, settings, {});
        // The daily log carries the simulated time, as on a machine living through the month.
        const auto simulated =
            fs::file_time_type::clock::now() - (std::chrono::system_clock::now() - platform::fromLocal(run.time));
        fs::last_write_time(report.dailyLog, std::chrono::floor<seconds>(simulated));
        if (!run.kinds[0].empty())
            steerFullSchedule(run.time);
        return report;
    }

    // Monday 30 November: the administrator adds full backups at 13:00 and 15:00.
    void steerFullSchedule(LocalTime runTime) {
        if (platform::dayOf(runTime) != platform::dayOf(kExtraFullDay))
            return;
        std::string& time = site.ini["ScheduleAll"]["Time"];
        time = time == "02:00" ? "13:00" : time == "13:00" ? "15:00" : "02:00";
        site.applySettings();
    }
};

} // namespace

TEST(SimulatedMonth, EveryDueRunHappensOnceAndRetentionKeepsExactlyWhatTheRulesSay) {
    SimulatedMonth month;
    month.runUntil(makeLocalTime(2026, 12, 5, 23, 59));
    ASSERT_EQ(describe(month.actual), describe(month.expected));
    ASSERT_GT(month.expected.size(), 200u);

    // What the rules leave in the local and the external folder.
    Files local, external, dailyLogs;
    for (const ScheduledRun& run : month.expected) {
        expireLogs(dailyLogs, local, run.time, kLocalTerm);
        dailyLogs[platform::formatYmd(run.time) + ".log"] = run.time;
        expire(local, run.time, kLocalTerm);
        addRunFiles(local, run, true);
        expire(external, run.time, kExternalTerm);
        addRunFiles(external, run, true);
    }
    EXPECT_EQ(datFilesBelow(month.site.backupDir()), keysOf(local));
    EXPECT_EQ(datFilesBelow(month.site.extDir()), keysOf(external));

    // The daily logs of the last days stay, each valid code page 932 with CR LF line ends.
    std::set<std::string> logs;
    for (const auto& e : fs::directory_iterator(month.site.backupDir()))
        if (e.path().extension() == ".log") {
            logs.insert(e.path().filename().string());
            const auto lines = testsupport::readLogLines(e.path());
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.front(), "<ts>  ---------スケジュールバックアップ 事前チェックStart---------") << e.path();
        }
    EXPECT_EQ(logs, keysOf(dailyLogs));

    // A flawless month of the external copy: no box was ever shown.
    EXPECT_EQ(month.site.ui.lines, std::vector<std::string>{});
}
