// Whole restore checks: backups made by the program's own runs against the stand-in server, then
// restored, checked and dropped through the real driver.

#include "backup/backup_run.h"
#include "restore/restore_check.h"
#include "restore/scratch_server.h"
#include "status/health.h"
#include "status/report_format.h"
#include "support/faulty_filesystem.h"
#include "support/run_site.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace {

namespace fs = std::filesystem;
using core::BackupKind;
using platform::makeLocalTime;
using restore::CheckReport;
using testing::HasSubstr;
using testsupport::RunSite;

const std::string S = "\u3000";

// A site whose databases have a full backup at 02:00, a differential one at 03:00 and log backups
// at 04:00, 05:00 and 06:00 of 3 December, with a row added to SALES before each of them.
class RestoreCheckSite : public RunSite {
public:
    // With `earlierFull`, a full backup at 01:00 comes first.
    explicit RestoreCheckSite(bool earlierFull = false) {
        server.execute("CREATE TABLE orders (n INT)", "SALES");
        if (earlierFull)
            backupAt(1, BackupKind::Full);
        backupAt(2, BackupKind::Full);
        backupAt(3, BackupKind::Diff);
        for (int hour : {4, 5, 6})
            backupAt(hour, BackupKind::Log);
    }

    void backupAt(int hour, BackupKind kind) {
        server.execute("INSERT INTO orders VALUES (" + std::to_string(hour) + ")", "SALES");
        clock.set(makeLocalTime(2026, 12, 3, hour, 0, 0));
        backup::BackupRun(ctx, tick.settings().current(), clock.now(), core::BackupKinds(kind)).run();
    }
    std::string file(const std::string& database, int hour, const char* kind) const {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "_202612030%d0000_", hour);
        return backupDir() + "/" + database + "/" + database + stamp + kind + ".DAT";
    }

    CheckReport check(restore::CheckOptions options = {}, const core::ProgramContext* context = nullptr) {
        clock.set(makeLocalTime(2026, 12, 3, 7, 0, 0));
        const std::atomic<bool> stop{false};
        return restore::RestoreCheck(context ? *context : ctx, std::move(options), stop).run();
    }
    std::vector<testsupport::TextRow> scratchDatabases() const {
        return server.query("SELECT name FROM sys.databases WHERE name = 'encrt_restore_check'");
    }
    // What --status says an hour after the check, the 02:00 run recorded as flawless as a tick
    // records it.
    status::Report health() {
        ini["BACKUPTIME"] = {{"START", "2026/12/03 02:00:00"}, {"END", "2026/12/03 02:00:10"}};
        writeSettings();
        return status::checkHealth({dir / "program", makeLocalTime(2026, 12, 3, 8, 0, 0), 60, true}, files);
    }
    const restore::DatabaseResult& result(const CheckReport& report, const std::string& database) const {
        for (const auto& d : report.databases)
            if (d.database == database)
                return d;
        throw std::runtime_error("no result for " + database);
    }
};

TEST(RestoreCheck, TheWholeChainOfEveryDatabaseRestoresChecksAndIsDropped) {
    RestoreCheckSite site;
    site.server.execute("CREATE DATABASE encrt_restore_check"); // left behind by a crashed check
    const CheckReport report = site.check();

    EXPECT_EQ(report.exitStatus(), 0) << report.cannotRun;
    const auto& sales = site.result(report, "SALES");
    EXPECT_TRUE(sales.ok) << sales.error;
    EXPECT_EQ(sales.files, (std::vector<std::string>{site.file("SALES", 2, "INIT"), site.file("SALES", 3, "DIFF"),
                                                     site.file("SALES", 4, "LOG"), site.file("SALES", 5, "LOG"),
                                                     site.file("SALES", 6, "LOG")}));
    EXPECT_TRUE(site.result(report, "SABRELUND").ok);
    EXPECT_TRUE(site.scratchDatabases().empty());
    // The restored copy sat in the server's data folder and went with the database.
    EXPECT_FALSE(fs::exists(site.server.dataDir() / "encrt_restore_check.mdf"));

    const auto log = site.dailyLog();
    const auto start = std::find(log.begin(), log.end(), "<ts>  ---------リストアチェック Start---------");
    ASSERT_NE(start, log.end());
    EXPECT_EQ(start[1], "ﾘｽﾄｱ元：ローカル" + S + site.backupDir());
    EXPECT_TRUE(start[2].starts_with("結果：成功" + S + "DB名：SABRELUND" + S + "ﾘｽﾄｱ時間：")) << start[2];
    EXPECT_EQ(log.back(), "<ts>  ---------リストアチェック End---------");

    const auto state = restore::readStateFile(site.dir / "program");
    ASSERT_TRUE(state);
    EXPECT_EQ(platform::formatDateTime(state->started), "2026/12/03 07:00:00");
    ASSERT_EQ(state->databases.size(), 2u);
    EXPECT_TRUE(state->databases[1].ok);
    EXPECT_EQ(state->exitStatus(), 0);
    const status::Report health = site.health();
    EXPECT_EQ(health.state, status::State::Ok) << status::formatText(health);
}

TEST(RestoreCheck, ABrokenChainNamesItsFileAndTheOtherDatabasesAreStillChecked) {
    struct Case {
        const char* name;
        bool earlierFull;
        std::function<void(RestoreCheckSite&)> damage;
        int failingHour; // the file the error names: its hour and kind; 0 when it names none
        const char* failingKind;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"a flipped byte in the differential", false,
         [](RestoreCheckSite& s) {
             std::fstream f(s.file("SALES", 3, "DIFF"), std::ios::in | std::ios::out | std::ios::binary);
             f.seekg(-10, std::ios::end);
             const char byte = char(f.get());
             f.seekp(-10, std::ios::end);
             f.put(char(byte ^ 0x40));
         },
         3, "DIFF", "RESTORE detected an error on page"},
        {"a log missing in the middle", false, [](RestoreCheckSite& s) { fs::remove(s.file("SALES", 5, "LOG")); }, 6,
         "LOG", "the log chain breaks before it"},
        {"the differential's full backup deleted, an older one left", true,
         [](RestoreCheckSite& s) { fs::remove(s.file("SALES", 2, "INIT")); }, 3, "DIFF",
         "its base is not the full backup"},
        {"no full backup at all", false, [](RestoreCheckSite& s) { fs::remove(s.file("SALES", 2, "INIT")); }, 0, "",
         "no full backup in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestoreCheckSite site(c.earlierFull);
        c.damage(site);
        const CheckReport report = site.check();
        EXPECT_EQ(report.exitStatus(), 1);
        const auto& sales = site.result(report, "SALES");
        EXPECT_FALSE(sales.ok);
        EXPECT_THAT(sales.error, HasSubstr(c.reason));
        if (c.failingHour != 0) {
            EXPECT_TRUE(sales.error.starts_with(site.file("SALES", c.failingHour, c.failingKind) + ": "))
                << sales.error;
        }
        EXPECT_TRUE(site.result(report, "SABRELUND").ok);
        EXPECT_TRUE(site.scratchDatabases().empty());
        const auto log = site.dailyLog();
        EXPECT_NE(std::find(log.begin(), log.end(), "結果：失敗" + S + "DB名：SALES"), log.end());
        EXPECT_NE(std::find(log.begin(), log.end(), "Err.Description：" + sales.error), log.end());
        EXPECT_EQ(restore::readStateFile(site.dir / "program")->exitStatus(), 1);
        const status::Report health = site.health();
        EXPECT_EQ(health.state, status::State::Critical);
        std::vector<std::string> problems;
        for (const auto& p : health.problems)
            problems.push_back(p.text);
        EXPECT_THAT(problems,
                    testing::Contains("restore check of 2026/12/03 07:00:00: SALES did not restore: " + sales.error));
    }
}

TEST(RestoreCheck, TheExternalCopiesRestoreAsWell) {
    RestoreCheckSite site;
    site.copyOn();
    site.applySettings();
    site.backupAt(7, BackupKind::Full); // copied to the external folder by its run
    const CheckReport report = site.check({restore::Source::External, {"SALES"}});
    ASSERT_EQ(report.databases.size(), 1u);
    EXPECT_TRUE(report.databases[0].ok) << report.databases[0].error;
    EXPECT_EQ(report.databases[0].files,
              std::vector<std::string>{site.extDir() + "/SALES/SALES_20261203070000_INIT.DAT"});
}

class SmallDisk : public testsupport::FaultyFileSystem {
public:
    std::optional<std::uintmax_t> availableSpace(const fs::path&, std::error_code&) const override { return 4096; }
};

TEST(RestoreCheck, AScratchFolderTooSmallIsRefusedBeforeRestoring) {
    RestoreCheckSite site;
    const fs::path scratch = site.dir / "scratch";
    fs::create_directories(scratch);
    site.ini["RestoreCheck"] = {{"SCRATCH_DIR", scratch.string()}};
    site.writeSettings();
    const SmallDisk files;
    const core::ProgramContext small(site.clock, site.ui, files, site.dir / "program");
    const CheckReport report = site.check({restore::Source::Local, {"SALES"}}, &small);

    EXPECT_EQ(report.exitStatus(), 1);
    EXPECT_THAT(report.databases.at(0).error,
                HasSubstr("the scratch folder " + scratch.string() + " has 4096 bytes free"));
    EXPECT_TRUE(fs::is_empty(scratch));
    EXPECT_TRUE(site.scratchDatabases().empty());
}

TEST(RestoreCheck, WhatKeepsItFromRunningIsSaidAndItTouchesNothing) {
    struct Case {
        const char* name;
        restore::Source source;
        std::function<void(RestoreCheckSite&)> change;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"no backups at all", restore::Source::Local,
         [](RestoreCheckSite& s) {
             fs::remove_all(s.backupDir() + "/SALES");
             fs::remove_all(s.backupDir() + "/SABRELUND");
         },
         "no backup files in"},
        {"server down", restore::Source::Local, [](RestoreCheckSite& s) { s.server.stop(); },
         "cannot log in to the server"},
        {"no external folder", restore::Source::External, [](RestoreCheckSite&) {}, "no external folder is set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RestoreCheckSite site;
        c.change(site);
        const CheckReport report = site.check({c.source, {}});
        EXPECT_EQ(report.exitStatus(), 2);
        EXPECT_THAT(report.cannotRun, HasSubstr(c.reason));
        EXPECT_EQ(site.dailyLog().end()[-2], "【ﾘｽﾄｱﾁｪｯｸ未実行】" + S + "原因：" + report.cannotRun);
    }
}

} // namespace
