#include "copy/retention.h"
#include "platform/local_filesystem.h"
#include "support/log_reader.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using platform::makeLocalTime;
using std::chrono::days;

namespace {

// The two sides' policies over one folder, as their stages build them.
struct Side {
    const char* name;
    std::optional<days> fallback;
    bool withDailyLogs; // the local side also ages the daily logs in the folder itself
};
const Side kLocal{"local", std::nullopt, true};
const Side kExternal{"external", days(60), false};

} // namespace

TEST(Retention, TermsStandAsLoadedLocallyAndAreKeptInRangeOutside) {
    const struct {
        long loaded, local, external;
    } cases[] = {{30, 30, 30}, {1, 1, 1}, {999, 999, 999}, {0, 0, 60}, {1000, 1000, 60}, {-5, -5, 60}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loaded);
        const core::Term term{days(c.loaded), std::to_string(c.loaded)};
        EXPECT_EQ(copy::retentionTerm(term, kLocal.fallback), days(c.local));
        EXPECT_EQ(copy::retentionTerm(term, kExternal.fallback), days(c.external));
    }
}

TEST(Retention, BothSidesExpireUpperCaseBackupsByTheDayAndKeepTheNewestOfADay) {
    const struct {
        const char* file;
        platform::LocalTime modified;
        bool goesLocally, goesOutside;
    } files[] = {
        {"S/S_1_INIT.DAT", makeLocalTime(2026, 11, 3, 23, 59), true, true}, // its day plus 30 is the run's day
        {"S/S_2_INIT.DAT", makeLocalTime(2026, 11, 4, 0, 0), false, false},
        {"S/lower.dat", makeLocalTime(2020, 1, 1), false, false},
        {"20261001.LOG", makeLocalTime(2026, 10, 1), true, false},
        {"S/20261001.log", makeLocalTime(2026, 10, 1), false, false},
    };
    for (const Side& side : {kLocal, kExternal}) {
        SCOPED_TRACE(side.name);
        testsupport::TempDir dir;
        testsupport::RecordingSink ui;
        platform::ManualClock clock(makeLocalTime(2026, 12, 3, 2, 0));
        platform::LocalFileSystem fs;
        core::ProgramContext ctx(clock, ui, fs, dir.path());
        core::Settings settings;
        core::DailyLog log(dir / "run.log", clock);
        for (const auto& f : files) {
            testsupport::writeFile(dir / "b" / f.file, "x");
            ASSERT_FALSE(fs.setLastModified(dir / "b" / f.file, f.modified));
        }
        const std::string folder = (dir / "b").string();
        const days term = copy::retentionTerm(core::termFromText("30", 999, "30"), side.fallback);
        const core::RunPlan plan{settings, clock.now(), {}, {}, {}};
        std::vector<copy::RetentionPolicy> policies{{folder, "*.DAT", term, true, true}};
        if (side.withDailyLogs)
            policies.push_back({folder, "*.log", term, false, false});
        for (const auto& policy : policies)
            EXPECT_TRUE(
                copy::deleteExpired(ctx, plan, log, fs, policy, core::RunStage::LocalRetention).failures.empty());
        for (const auto& f : files)
            EXPECT_EQ(!fs.fileExists(dir / "b" / f.file), side.withDailyLogs ? f.goesLocally : f.goesOutside) << f.file;
    }
    using List = std::vector<std::string>;
    EXPECT_EQ(copy::keepNewestOfDay({}), List{});
    EXPECT_EQ(copy::keepNewestOfDay({"a"}), List{});
    EXPECT_EQ(copy::keepNewestOfDay({"a", "b", "c"}), (List{"a", "b"}));
}

TEST(Retention, BackupsCountFromTheNewestFullBackupOfTheirDatabaseInTheirFolder) {
    // A run with the clock a year ahead: the clock's rule alone would take every file.
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock(makeLocalTime(2027, 12, 3, 2, 0));
    platform::LocalFileSystem fs;
    core::ProgramContext ctx(clock, ui, fs, dir.path());
    core::Settings settings;
    const struct {
        const char* file;
        platform::LocalTime made;
        bool stays;
        std::string_view content = "backup";
    } files[] = {
        {"S/S_20261001020000_INIT.DAT", makeLocalTime(2026, 10, 1, 2), false},    // the term before the newest
        {"S/S_20261105020000_DIFF.DAT", makeLocalTime(2026, 11, 5, 2), true},     // within the term before it
        {"S/S_20261202020000_INIT.DAT", makeLocalTime(2026, 12, 2, 2), true},     // the newest full backup
        {"S/S_20261202120000_LOG.DAT", makeLocalTime(2026, 12, 2, 12), true},     // after it
        {"S/S_20261203020000_INIT.DAT", makeLocalTime(2026, 12, 3, 2), true, ""}, // empty: no anchor, but newer
        {"S/old/S_20261001020000_INIT.DAT", makeLocalTime(2026, 10, 1, 2), true}, // another folder's newest
        {"T/T_20261001020000_DIFF.DAT", makeLocalTime(2026, 10, 1, 2), false},    // no full backup: the clock rules
        {"MASTER_20261001020000_INIT.DAT", makeLocalTime(2026, 10, 1, 2), true},
        {"S/other.DAT", makeLocalTime(2026, 12, 2, 2), false}, // no backup name: the clock rules
        {"20261001.log", makeLocalTime(2026, 10, 1), false},
        {"20261110.log", makeLocalTime(2026, 11, 10), true}, // within the term before the newest backup
        {"20271203.log", makeLocalTime(2026, 12, 7), true},  // the running run's own log
    };
    for (const auto& f : files) {
        testsupport::writeFile(dir / "b" / f.file, f.content);
        ASSERT_FALSE(fs.setLastModified(dir / "b" / f.file, f.made));
    }
    const std::string folder = (dir / "b").string();
    const core::RunPlan plan{settings, clock.now(), {}, dir / "b" / "20271203.log", {}};
    {
        core::DailyLog log(dir / "run.log", clock);
        const auto backups = copy::deleteExpired(ctx, plan, log, fs, {folder, "*.DAT", days(30), true, true},
                                                 core::RunStage::LocalRetention);
        EXPECT_EQ(backups.newestFull, makeLocalTime(2026, 12, 2, 2));
        copy::deleteExpired(ctx, plan, log, fs, {folder, "*.log", days(30), false, false, backups.newestFull},
                            core::RunStage::LocalRetention);
    }
    for (const auto& f : files)
        EXPECT_EQ(fs.fileExists(dir / "b" / f.file), f.stays) << f.file;
    const auto lines = testsupport::readLogLines(dir / "run.log");
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "結果：保持\u3000DB名：S\u3000ﾌｫﾙﾀﾞ名：" + folder +
                            "/S\u3000ﾌｧｲﾙ数：4\u3000"
                            "原因：最新の完全ﾊﾞｯｸｱｯﾌﾟ(2026/12/02 02:00:00)から数えて保存期間内"),
              lines.end());
}
