#pragma once
// A whole installation for tests of scheduled runs: a stand-in server holding the product
// database SABRELUND (with its 排他管理 table) and SALES, a program folder with MSDE_DBTOOL.INI
// (login enciphered), ZUZOR.INI and the product's folders, a local backup folder and an external
// target, a manual clock, a recording sink, and the scheduler tick wired to the real run.

#include "backup/db_list.h"
#include "backup/run_driver.h"
#include "common/password.h"
#include "core/settings.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "scheduler/due_tick.h"
#include "scheduler/tick.h"
#include "standin_server.h"
#include "support/log_reader.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <map>
#include <string>

namespace testsupport {

class RecordingTimer : public scheduler::TickTimer {
public:
    bool enabled = true;
    void setTimerEnabled(bool on) override { enabled = on; }
};

class RunSite {
public:
    explicit RunSite(testsupport::StandinOptions options = {},
                     platform::LocalTime start = platform::makeLocalTime(2026, 12, 3, 1, 59, 30))
        : server(std::move(options)), clock(start), ctx(clock, ui, files, dir / "program") {
        server.createDatabase("SABRELUND");
        server.loadProductSchema("SABRELUND");
        server.createDatabase("SALES");
        for (const char* d : {"program", "backup", "ext", "product/KEYMANAGE", "product/技術資料", "product/Wexmarl"})
            std::filesystem::create_directories(dir / d);
        writeFile(dir / "product" / "KEYMANAGE" / "cert.pem", "certificate");
        writeFile(dir / "product" / "技術資料" / "manual.txt", "document");
        writeFile(dir / "product" / "Wexmarl" / "data.bin", "wexmarl");
        writeFile(dir / "product" / "DEDoda.ini",
                  platform::toCp932("[keymanage]\r\nKeyRoot=" + (dir / "product" / "KEYMANAGE").string() + "\r\n"));
        writeZuzor();
        ini = {
            {"Schedule", {{"Db", "SABRELUND\tSALES"}, {"Path", backupDir()}, {"LocalPreserveTerm", "30"}}},
            {"ScheduleAll", {{"Day", "127"}, {"Time", "02:00"}}},
            {"ScheduleDiff", {{"Day", "NON"}, {"Time", "NON"}}},
            {"ScheduleLOG", {{"Day", "NON"}, {"Time", "NON"}}},
            {"FILE_COPY", {{"EXECUTE", "0"}}},
            {"(local)", {{"USER_NAME", server.user()}, {"PASSWORD", storedPassword(server.password())}}},
        };
        writeSettings();
        tick.setStartTime(clock.now());
        tick.settings().adopt(core::fnLoadSettings(ctx, {}).settings);
        tick.setDueTickWork([this](core::ProgramContext& c, const scheduler::TickState& state,
                                   scheduler::ResidentSettings& held, scheduler::LockTableTrouble& trouble) {
            return scheduler::runDueTick(c, state, held, trouble, services);
        });
    }

    // Full backups of SABRELUND and SALES made before the test, outside the backup folders: a
    // differential or log backup needs one, as on a real server.
    void earlierFullBackups() const {
        for (const char* database : {"SABRELUND", "SALES"})
            server.execute(std::string("BACKUP DATABASE ") + database + " TO DISK = N'" +
                           (server.scratchDir() / (std::string(database) + "_earlier.DAT")).string() + "' WITH INIT");
    }

    std::string backupDir() const { return (dir / "backup").string(); }
    std::string extDir() const { return (dir / "ext").string(); }

    std::string storedPassword(const std::string& password) const {
        const auto key = common::passwordKeyPath(dir / "program");
        common::ensurePasswordKey(key);
        return common::encipherPassword(key, password).value();
    }

    // MSDE_DBTOOL.INI from `ini`, section by section.
    void writeSettings() const {
        std::string text;
        for (const auto& [section, keys] : ini) {
            text += "[" + section + "]\r\n";
            for (const auto& [key, value] : keys)
                text += key + "=" + value + "\r\n";
        }
        writeFile(dir / "program" / "MSDE_DBTOOL.INI", platform::toCp932(text));
    }
    // Writes MSDE_DBTOOL.INI and has the program load it, as saving the settings dialog does.
    void applySettings() {
        writeSettings();
        tick.settings().adopt(core::fnLoadSettings(ctx, {}).settings);
    }
    void writeZuzor(const std::string& extra = "") const {
        writeFile(dir / "program" / "ZUZOR.INI",
                  platform::toCp932("[DATABASE]\r\nSERVER_NAME=127.0.0.1," + std::to_string(server.port()) +
                                    "\r\nDB_NAME=SABRELUND\r\n[SABRELUND]\r\nPATH=" + (dir / "product").string() +
                                    "\r\n[GIJYUTU]\r\nPATH=" + (dir / "product" / "技術資料").string() + "\r\n" +
                                    extra));
    }
    void copyOn() {
        ini["FILE_COPY"] = {{"EXECUTE", "1"},
                            {"DBBACKUPFILE_DIR", extDir()},
                            {"KEYFILE_DIR", extDir()},
                            {"GIJYUTUFILE_DIR", extDir()},
                            {"OutSidePreserveTerm", "60"}};
        writeSettings();
    }
    std::string setting(std::string_view section, std::string_view key) const {
        return core::fnGetScheduleIni(ctx, section, key);
    }

    // Moves the clock to `t` and lets the timer fire.
    void tickAt(platform::LocalTime t) {
        clock.set(t);
        tick.Timer1_Timer();
    }
    std::vector<std::string> dailyLog(const std::string& day = "20261203") const {
        return readLogLines(dir / "backup" / (day + ".log"));
    }
    std::vector<testsupport::TextRow> lockRows() const {
        return server.query("SELECT テーブル名称 FROM 排他管理 ORDER BY テーブル名称", "SABRELUND");
    }

    testsupport::StandinServer server;
    TempDir dir;
    RecordingSink ui;
    platform::ManualClock clock;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx;
    std::map<std::string, std::map<std::string, std::string>> ini;
    RecordingTimer timer;
    scheduler::DueTickServices services{
        backup::fnLoadDBList, backup::sbScheduleBackupRun, {}, [this](core::DbSession&) { ui.openSettingsDialog(); }};
    scheduler::SchedulerTick tick{ctx, timer};
};

} // namespace testsupport
