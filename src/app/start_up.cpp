#include "app/start_up.h"

#include "app/app_texts.h"
#include "app/command_line.h"
#include "app/qt_translations.h"
#include "app/resident_window.h"
#include "app/restore_command.h"
#include "app/run_ending.h"
#include "app/settings_opener.h"
#include "app/setup_command.h"
#include "app/single_instance.h"
#include "app/status_command.h"
#include "app/termination_signals.h"
#include "backup/db_list.h"
#include "backup/run_driver.h"
#include "core/daily_log.h"
#include "core/settings.h"
#include "core/setup_state.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform/paths.h"
#include "platform/ui_sink.h"
#include "platform_qt/qt_text.h"
#include "platform_qt/qt_ui_sink.h"
#include "scheduler/due_tick.h"
#include "scheduler/settings_reload.h"

#include <QApplication>
#include <QString>
#include <QSystemTrayIcon>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

namespace app {
namespace {

void writeTo(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

void say(const std::string& text) {
    writeTo(stderr, std::string(kProgramName) + ": " + text + "\n");
}

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Whether Qt can open windows: without a display its platform plugin aborts the process (and a
// resident copy would leave its lock behind). A platform chosen by QT_QPA_PLATFORM other than the
// display servers' (offscreen, vnc, eglfs) needs none.
bool displayAvailable() {
    if (isSet("WAYLAND_DISPLAY") || isSet("DISPLAY"))
        return true;
    const QString platform = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM")).section(QLatin1Char(';'), 0, 0);
    const QString name = platform.section(QLatin1Char(':'), 0, 0);
    return !name.isEmpty() && name != QLatin1String("xcb") && !name.startsWith(QLatin1String("wayland"));
}

bool refuseWithoutDisplay() {
    if (displayAvailable())
        return false;
    say("no display (DISPLAY and WAYLAND_DISPLAY are unset): the tray icon and the settings dialog need a "
        "desktop; on a machine without one, start the program with --headless");
    return true;
}

std::filesystem::path defaultConfigDir(bool create) {
    return platform::defaultSettingsFolder(platform::executableFolder(), core::kScheduleIniName, kProgramName, create);
}

// Passes everything on but the notices: for the start-up load of a folder never set up, whose
// notice would name an item of the settings check instead of what is missing.
class WithoutNotices final : public platform::UiSink {
public:
    explicit WithoutNotices(platform::UiSink& ui) : ui_(ui) {}
    void messageBox(std::string_view text, std::string_view title, platform::MsgIcon icon) override {
        ui_.messageBox(text, title, icon);
    }
    void message(int code, std::string_view text1, std::string_view text2, std::string_view text3,
                 std::string_view shownText, platform::MsgIcon icon) override {
        ui_.message(code, text1, text2, text3, shownText, icon);
    }
    void notice(std::string_view, std::string_view) override {}
    std::string chooseFolder(std::string_view title, std::string_view initialFolder) override {
        return ui_.chooseFolder(title, initialFolder);
    }

private:
    platform::UiSink& ui_;
};

std::unique_ptr<platform::Clock> makeClock(const Options& o) {
    if (o.clockStart)
        return std::make_unique<platform::OffsetClock>(*o.clockStart);
    return std::make_unique<platform::SystemClock>();
}

// What a due tick is handed from here: the run, and how this front end opens the settings dialog
// and lets window events through during the run's listings.
scheduler::DueTickServices dueTickServices(std::function<void(core::DbSession&)> openSettings,
                                           std::function<void()> progress) {
    return {backup::fnLoadDBList, backup::sbScheduleBackupRun, std::move(progress), std::move(openSettings)};
}

// The work of a due tick: pre-check, connection, lock rows, settings, the run and the unlock.
// `duringRun` is told when the run starts (true) and ends (false). A termination signal during
// it ends the run from the signal thread (run_ending.h).
scheduler::DueTickWork backupRunWork(TerminationSignals& termination, bool tickOnce,
                                     scheduler::DueTickServices services, std::function<void(bool)> duringRun = {}) {
    return [services, duringRun, &termination, tickOnce](core::ProgramContext& ctx, const scheduler::TickState& tick,
                                                         scheduler::ResidentSettings& held,
                                                         scheduler::LockTableTrouble& trouble) {
        if (duringRun)
            duringRun(true);
        const RunEnding ending{core::dailyLogPathFor(held.current(), tick.runTime(ctx.clock)), &ctx.clock,
                               ctx.programDir, tickOnce};
        termination.runStarted([ending](int signal) { endRunOnSignal(ending, signal); });
        const auto end = scheduler::runDueTick(ctx, tick, held, trouble, services);
        termination.runEnded();
        if (duringRun)
            duringRun(false);
        return end;
    };
}

// Ends the process once the window has been unloaded. From inside a tick (the menu is reachable
// while a run lists files) the program ends at once, as it did when the window unloaded; the
// run's lock row and Iniflg "0" stay behind for the next start to clear.
void endProgram(SchedulerDriver& driver) {
    if (driver.tick().isRunning()) {
        std::fflush(nullptr);
        std::_Exit(0);
    }
    QCoreApplication::quit();
}

int runResident(int& argc, char** argv, const Options& o) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform_qt::toQString(kProgramName));
    QApplication::setQuitOnLastWindowClosed(false); // closing the settings dialog must not end the program
    installQtJapaneseTexts(app);
    TerminationSignals termination;

    const auto clock = makeClock(o);
    platform_qt::QtUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(*clock, ui, files, o.configDir);
    const auto openSettings = [&ctx] { openSettingsDialog(ctx, nullptr); };
    // The icon is made in any case: when the panel comes up after the program (autostart races
    // it), Qt places the icon once a notification area appears.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        say("no notification area on this desktop; staying resident without an icon until one appears");
    Frm_EnCrt_ScheduleBackup window(ctx, openSettings, true);
    startUp(ctx, window.driver().tick());
    // The tray menu stays reachable while a run lists a large folder.
    const auto services =
        dueTickServices([&ctx](core::DbSession& session) { openSettingsDialog(ctx, session, nullptr); },
                        [] { QCoreApplication::processEvents(); });
    window.driver().tick().setDueTickWork(backupRunWork(
        termination, o.tickOnce, services, [&window](bool running) { window.setSettingsCommandEnabled(!running); }));
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window,
                     &Frm_EnCrt_ScheduleBackup::PopMenu1_End_Click);
    QObject::connect(&window, &Frm_EnCrt_ScheduleBackup::ended, &app, [&window] { endProgram(window.driver()); });
    window.Form_Load();
    ui.setNoticeShower([&window](std::string_view text, std::string_view title) { window.showNotice(text, title); });

    if (o.tickOnce) {
        window.driver().tick().Timer1_Timer();
        window.Form_Unload();
        return 0;
    }
    return app.exec();
}

int runHeadless(int& argc, char** argv, const Options& o) {
    QCoreApplication app(argc, argv);
    // Without a desktop nobody can open and close the settings dialog; SIGHUP does what that
    // does for the scheduler: the settings are loaded again and a timer that a tick left stopped
    // runs again.
    TerminationSignals termination(nullptr, true);

    const auto clock = makeClock(o);
    platform::HeadlessUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(*clock, ui, files, o.configDir);
    SchedulerDriver driver(ctx);
    startUp(ctx, driver.tick());
    driver.tick().setDueTickWork(backupRunWork(
        termination, o.tickOnce, dueTickServices([&ui](core::DbSession&) { ui.openSettingsDialog(); }, {})));
    if (o.tickOnce) {
        driver.tick().Timer1_Timer();
        return 0;
    }
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app, [&] {
        driver.setEnabled(false);
        endProgram(driver);
    });
    QObject::connect(&termination, &TerminationSignals::hangupReceived, &app, [&] {
        driver.tick().reloadSettings();
        if (!driver.tick().isRunning())
            driver.setEnabled(true);
    });
    driver.setEnabled(true);
    return app.exec();
}

int runSettingsOnly(int& argc, char** argv, const Options& o) {
    QApplication app(argc, argv);
    installQtJapaneseTexts(app);
    const auto clock = makeClock(o);
    platform_qt::QtUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(*clock, ui, files, o.configDir);
    openSettingsDialog(ctx, nullptr);
    return 0;
}

} // namespace

void startUp(core::ProgramContext& ctx, scheduler::SchedulerTick& tick) {
    const platform::LocalTime start = ctx.clock.now();
    if (const auto missing = core::missingSetupItems(ctx); !missing.empty()) {
        ctx.ui.notice(core::setupNoticeText(missing, setupCommandFor(ctx.programDir, defaultConfigDir)),
                      core::kSetupNoticeTitle);
        WithoutNotices quiet(ctx.ui);
        const core::ProgramContext loading(ctx.clock, quiet, ctx.files, ctx.programDir);
        tick.settings().load(loading);
    } else {
        tick.settings().load(ctx);
    }
    tick.setStartTime(start);
}

int Main(int argc, char** argv) {
    const CommandLine cl = parseCommandLine(argumentsOf(argc, argv), defaultConfigDir);
    if (cl.exitStatus) {
        writeTo(stdout, cl.out);
        writeTo(stderr, cl.err);
        return *cl.exitStatus;
    }
    const Options& o = cl.options;
    if (o.setup)
        return runSetup(o.setupArguments, defaultConfigDir);
    if (o.status)
        return runStatus(o);
    if (o.restoreCheck)
        return runRestoreCheck(o);
    if (o.settingsOnly)
        return refuseWithoutDisplay() ? 1 : runSettingsOnly(argc, argv, o);

    // Before anything else: a second copy ends here, silently, having read and written nothing.
    SingleInstanceLock lock(o.configDir);
    switch (lock.tryAcquire()) {
    case SingleInstanceLock::Result::HeldByAnother:
        return 0;
    case SingleInstanceLock::Result::Failed:
        say(lock.errorText());
        return 1;
    case SingleInstanceLock::Result::Acquired:
        break;
    }
    if (!o.headless && refuseWithoutDisplay())
        return 1; // the lock goes with this scope

    return o.headless ? runHeadless(argc, argv, o) : runResident(argc, argv, o);
}

} // namespace app
