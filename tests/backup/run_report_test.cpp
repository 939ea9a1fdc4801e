// What a whole run reports to its caller: the files written, the failures by stage and whether it
// counts as a complete backup, for runs that went through, went part-way and never reached the
// server.
#include "backup/backup_run.h"
#include "support/run_site.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using core::BackupKind;
using core::RunStage;
using platform::makeLocalTime;
using testsupport::RunSite;

namespace {

struct Case {
    const char* name;
    std::vector<std::string> refusedBackups;
    core::BackupKinds kinds;
    std::function<void(RunSite&)> prepare;
    std::vector<std::pair<RunStage, std::string>> failures; // stage and the end of its subject
    std::size_t written;
    bool flawless;
};

std::string tail(const std::string& subject, std::size_t n) {
    return subject.size() > n ? subject.substr(subject.size() - n) : subject;
}

} // namespace

TEST(RunReport, TellsWhatEachKindOfRunWroteAndWhereItFailed) {
    const Case cases[] = {
        {"flawless full", {}, BackupKind::Full, {}, {}, 5, true},
        {"differential only", {}, BackupKind::Diff, [](RunSite& site) { site.earlierFullBackups(); }, {}, 2, false},
        {"one database refused", {"SALES"}, BackupKind::Full, {}, {{RunStage::DatabaseBackup, "SALES"}}, 4, false},
        {"one copy target read-only",
         {},
         BackupKind::Full,
         [](RunSite& site) {
             site.copyOn();
             std::filesystem::create_directories(site.extDir() + "/SALES");
             ::chmod((site.extDir() + "/SALES").c_str(), 0555);
         },
         {{RunStage::BackupCopy, "SALES_20261203020030_INIT.DAT"}},
         5,
         false},
        {"server unreachable",
         {},
         BackupKind::Full,
         [](RunSite& site) { site.server.stop(); },
         {{RunStage::Connection, ""}},
         0,
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSite site({.failingBackups = c.refusedBackups});
        if (c.prepare)
            c.prepare(site);
        site.applySettings();
        site.clock.set(makeLocalTime(2026, 12, 3, 2, 0, 30));
        const auto report =
            backup::BackupRun(site.ctx, site.tick.settings().current(), site.clock.now(), c.kinds).run();

        std::vector<std::pair<RunStage, std::string>> failures;
        for (const auto& f : report.failures)
            failures.emplace_back(f.stage, tail(f.subject, 29));
        EXPECT_EQ(failures, c.failures);
        EXPECT_EQ(report.files.written.size(), c.written);
        EXPECT_EQ(report.flawless(), c.flawless);
        EXPECT_EQ(report.dailyLog, site.dir / "backup" / "20261203.log");
        EXPECT_EQ(report.started, site.clock.now());
    }
}

TEST(RunReport, FilesAreListedPerKindInTheOrderOfTheSelectedDatabases) {
    RunSite site;
    site.clock.set(makeLocalTime(2026, 12, 3, 2, 0, 30));
    const auto report = backup::BackupRun(site.ctx, site.tick.settings().current(), site.clock.now(),
                                          core::BackupKinds(BackupKind::Full) | BackupKind::Log)
                            .run();
    const std::string b = site.backupDir();
    EXPECT_EQ(report.files.full, (std::vector<std::string>{b + "/SABRELUND/SABRELUND_20261203020030_INIT.DAT",
                                                           b + "/SALES/SALES_20261203020030_INIT.DAT"}));
    EXPECT_EQ(report.files.log, (std::vector<std::string>{b + "/SABRELUND/SABRELUND_20261203020030_LOG.DAT",
                                                          b + "/SALES/SALES_20261203020030_LOG.DAT"}));
    EXPECT_TRUE(report.files.diff.empty());
    EXPECT_EQ(report.files.msdb, b + "/MSDB_20261203020030_INIT.DAT");
    EXPECT_TRUE(report.failures.empty());
    EXPECT_FALSE(report.flawless()); // a log backup never counts as the complete one
}
