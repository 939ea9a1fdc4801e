// The resident program on the desktop (offscreen): a backup runs as a job, the GUI thread stays
// free, and the menu's end command stops the run at once. Against the stand-in server.

#include "app/program_ending.h"
#include "app/resident_window.h"
#include "app/scheduling.h"
#include "app/start_up.h"
#include "app/tray_icon.h"
#include "common/password.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform_qt/qt_ui_sink.h"
#include "standin_server.h"
#include "support/log_reader.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// Lets the GUI thread's events through until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

bool logHas(const fs::path& log, const std::string& line) {
    const auto lines = testsupport::readLogLines(log);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

TEST(DesktopJob, TheTrayMenuAnswersDuringALongBackupAndItsEndStopsTheRunAtOnce) {
    testsupport::StandinServer server({.extraArguments = {"--backup-delay", "60000"}});
    server.createDatabase("SABRELUND");
    server.loadProductSchema("SABRELUND");
    testsupport::TempDir tmp;
    const fs::path config = tmp / "config", backup = tmp / "backup";
    fs::create_directories(config);
    fs::create_directories(backup);
    const auto key = common::passwordKeyPath(config);
    ASSERT_FALSE(common::ensurePasswordKey(key));
    testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                     std::to_string(server.port()) + "\r\nDB_NAME=SABRELUND\r\n");
    testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                           "[Schedule]\r\nDb=SABRELUND\r\nPath=" + backup.string() +
                               "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"
                               "[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=" +
                               server.user() + "\r\nPASSWORD=" + *common::encipherPassword(key, server.password()) +
                               "\r\n");

    platform::ManualClock clock(platform::makeLocalTime(2026, 12, 3, 1, 59, 30));
    platform_qt::QtUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(clock, ui, files, config);
    app::Frm_EnCrt_ScheduleBackup window(ctx, {}, true);
    app::ProgramEnding ending(window.driver(), ctx);
    app::Scheduling scheduling{window.driver(), ending};
    app::startUp(ctx, window.driver().tick());
    scheduling.wire(app::dueTickServices(app::dialogFromTheJob(ctx)),
                    [&window](bool running) { window.setSettingsCommandEnabled(!running); });
    // As the resident program connects them: the menu's end ends the program.
    QObject::connect(&window, &app::Frm_EnCrt_ScheduleBackup::ended, [&] { ending.request(app::kMenuEndLine, 0); });
    window.Form_Load();
    // Whatever fails below, the job must not outlive the window it works for.
    const auto stopTheJob = qScopeGuard([&] {
        window.driver().jobs().requestStop("stopped by the test");
        waitUntil([&] { return !window.driver().tick().jobRunning(); }, 20000);
    });

    clock.set(platform::makeLocalTime(2026, 12, 3, 2, 0, 30));
    window.driver().tick().Timer1_Timer(); // returns at once: the run is the job's
    const fs::path log = backup / "20261203.log";
    ASSERT_TRUE(waitUntil([&] { return logHas(log, "<ts>  ---DBバックアップ(全体) Start---"); }, 30000));
    EXPECT_TRUE(window.driver().tick().jobRunning());
    EXPECT_FALSE(window.trayIcon()->PopMenu1_SetUp()->isEnabled());

    // The end command, chosen while the server holds the backup statement, is answered at once.
    QSignalSpy ended(&window, &app::Frm_EnCrt_ScheduleBackup::ended);
    QElapsedTimer answered;
    answered.start();
    QMetaObject::invokeMethod(window.trayIcon()->PopMenu1_End(), "trigger", Qt::QueuedConnection);
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }, 1000));
    ASSERT_TRUE(waitUntil([&] { return !window.driver().tick().jobRunning(); }, 3000));
    EXPECT_LT(answered.elapsed(), 3000);

    const auto lines = testsupport::readLogLines(log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "<ts>  " + std::string(app::kMenuEndLine));
    EXPECT_TRUE(server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty());
    EXPECT_TRUE(ending.requested());
}
