#include "app/app_icon.h"
#include "app/command_line.h"
#include "app/resident_window.h"
#include "app/termination_signals.h"
#include "app/tray_icon.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform_qt/qt_ui_sink.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace app;

namespace {

class ResidentWindowTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 3, 0, 0)};
    testsupport::RecordingSink sink;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{clock, sink, files, dir.path()};
    std::vector<bool> timerWhileDialogOpen;
    Frm_EnCrt_ScheduleBackup window{ctx, [this] { timerWhileDialogOpen.push_back(window.driver().isEnabled()); }, true};
};

TEST_F(ResidentWindowTest, LoadKeepsTheWindowHiddenAndShowsTheIconWithItsMenu) {
    window.Form_Load();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("スケジュールバックアップ常駐画面"));
    EXPECT_EQ(window.driver().Timer1().interval(), 60000);
    EXPECT_TRUE(window.driver().isEnabled());
    EXPECT_EQ(window.trayIcon()->toolTip(), QStringLiteral("スケジュールバックアップ常駐"));

    const QList<QAction*> items = window.trayIcon()->PopMenu1()->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(window.trayIcon()->PopMenu1()->objectName(), QStringLiteral("PopMenu1"));
    EXPECT_EQ(items[0]->objectName(), QStringLiteral("PopMenu1_SetUp"));
    EXPECT_EQ(items[0]->text(), QStringLiteral("設定(&S)"));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->objectName(), QStringLiteral("PopMenu1_End"));
    EXPECT_EQ(items[2]->text(), QStringLiteral("終了(&X)"));
}

TEST_F(ResidentWindowTest, OnlyTheRightButtonOpensTheMenu) {
    TrayIcon& tray = *window.trayIcon();
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
        emit tray.activated(reason);
        EXPECT_FALSE(tray.PopMenu1()->isVisible()) << reason;
    }
    // The right button is the desktop's context-menu request: it opens this menu.
    EXPECT_EQ(tray.contextMenu(), tray.PopMenu1());
}

TEST_F(ResidentWindowTest, SettingsCommandStopsTheTimerAndAlwaysRestartsIt) {
    window.Form_Load();
    window.trayIcon()->PopMenu1_SetUp()->trigger();
    window.driver().setEnabled(false); // as a tick leaves it after a lock-table failure
    window.trayIcon()->PopMenu1_SetUp()->trigger();
    EXPECT_EQ(timerWhileDialogOpen, (std::vector<bool>{false, false}));
    EXPECT_TRUE(window.driver().isEnabled());
}

TEST_F(ResidentWindowTest, EndRemovesTheIconAndEnds) {
    window.Form_Load();
    QSignalSpy ended(&window, &Frm_EnCrt_ScheduleBackup::ended);
    window.trayIcon()->PopMenu1_End()->trigger();
    EXPECT_FALSE(window.trayIcon()->isVisible());
    EXPECT_FALSE(window.driver().isEnabled());
    EXPECT_EQ(ended.count(), 1);
    window.trayIcon()->PopMenu1_SetUp()->trigger(); // nothing restarts an ended program
    EXPECT_FALSE(window.driver().isEnabled());
}

TEST(QtUiSink, NoticesGivenBeforeTheIconExistsWaitForIt) {
    platform_qt::QtUiSink sink;
    sink.notice("loaded before the icon", ""); // the start-up load comes before the window
    std::vector<std::string> shown;
    sink.setNoticeShower([&](std::string_view text, std::string_view title) {
        shown.push_back(std::string(title) + "|" + std::string(text));
    });
    sink.notice("later", "T");
    EXPECT_EQ(shown, (std::vector<std::string>{"スケジュールバックアップ|loaded before the icon", "T|later"}));
}

TEST(AppIcon, IsDrawnOnATransparentGroundAtAnySize) {
    const QIcon icon = drawnAppIcon();
    for (int side : {16, 32, 64}) {
        const QImage image = icon.pixmap(side, side).toImage();
        ASSERT_EQ(image.size(), QSize(side, side));
        EXPECT_EQ(qAlpha(image.pixel(side - 1, 0)), 0) << side; // corner left empty by the drawing
        EXPECT_EQ(qAlpha(image.pixel(side / 4, side / 2)), 255) << side;
    }
}

TEST(TerminationSignals, SigtermArrivesInTheEventLoop) {
    TerminationSignals termination;
    QSignalSpy spy(&termination, &TerminationSignals::terminationRequested);
    std::raise(SIGTERM);
    EXPECT_TRUE(spy.wait(2000));
    EXPECT_EQ(spy.count(), 1);
}

TEST(CommandLine, RejectsWhatCannotRun) {
    testsupport::TempDir dir;
    const QString d = QString::fromStdString(dir.path().string());
    const QStringList bad[] = {
        {"x", "--clock", "2026/12/03 25:00:00"},
        {"x", "--clock", "tomorrow"},
        {"x", "--config-dir", d + "/missing"},
        {"x", "--settings", "--headless"},
        {"x", "extra"},
        {"x", "--json"},
        {"x", "--headless", "--grace", "5"},
    };
    const DefaultConfigDir here = [&dir](bool) { return dir.path(); };
    for (const QStringList& args : bad) {
        const CommandLine cl = parseCommandLine(args, here);
        EXPECT_EQ(cl.exitStatus, kUsageError) << args.join(' ').toStdString();
        EXPECT_FALSE(cl.err.empty());
    }
    const CommandLine ok = parseCommandLine({"x", "--config-dir", d + "/.", "--clock", "2026/12/03 03:00:00"}, here);
    EXPECT_FALSE(ok.exitStatus);
    EXPECT_EQ(ok.options.configDir, dir.path());
    EXPECT_EQ(ok.options.clockStart, platform::makeLocalTime(2026, 12, 3, 3, 0, 0));

    // The health check answers a command line it cannot use as monitoring plugins do.
    for (const QStringList& args :
         {QStringList{"x", "--status", "--grace", "soon"}, QStringList{"x", "--status", "--tick-once"},
          QStringList{"x", "--status", "--bogus"}}) {
        const CommandLine cl = parseCommandLine(args, here);
        EXPECT_EQ(cl.exitStatus, kStatusUnknown) << args.join(' ').toStdString();
        EXPECT_EQ(cl.out.rfind("UNKNOWN: ", 0), 0u) << cl.out;
    }
}

} // namespace
