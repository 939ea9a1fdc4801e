#include "app/start_up.h"

#include "app/app_texts.h"
#include "app/command_line.h"
#include "app/program_ending.h"
#include "app/qt_translations.h"
#include "app/resident_window.h"
#include "app/restore_command.h"
#include "app/scheduling.h"
#include "app/settings_opener.h"
#include "app/setup_command.h"
#include "app/single_instance.h"
#include "app/status_command.h"
#include "app/termination_signals.h"
#include "core/settings.h"
#include "core/setup_state.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform/paths.h"
#include "platform/ui_sink.h"
#include "platform_qt/qt_text.h"
#include "platform_qt/qt_ui_sink.h"
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
    Frm_EnCrt_ScheduleBackup window(ctx, openSettings, true, tickIntervalFromEnvironment());
    ProgramEnding ending(window.driver(), ctx);
    Scheduling scheduling{window.driver(), ending};
    startUp(ctx, window.driver().tick());
    scheduling.wire(dueTickServices(dialogFromTheJob(ctx)),
                    [&window](bool running) { window.setSettingsCommandEnabled(!running); });
    const int signalStatusBase = o.tickOnce ? 128 : -1;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &window, [&](int signal) {
        ending.request(signalEndLine(signal), signalStatusBase < 0 ? 0 : signalStatusBase + signal);
        window.Form_Unload();
    });
    QObject::connect(&window, &Frm_EnCrt_ScheduleBackup::ended, &app, [&] { ending.request(kMenuEndLine, 0); });
    window.Form_Load();
    ui.setNoticeShower([&window](std::string_view text, std::string_view title) { window.showNotice(text, title); });

    if (o.tickOnce) {
        const int status = scheduling.tickOnce();
        window.Form_Unload();
        return status;
    }
    return app.exec();
}

int runHeadless(int& argc, char** argv, const Options& o) {
    QCoreApplication app(argc, argv);
    // Without a desktop nobody can open and close the settings dialog; SIGHUP does what closing it
    // does for the scheduler: the settings are loaded again.
    TerminationSignals termination(nullptr, true);

    const auto clock = makeClock(o);
    platform::HeadlessUiSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(*clock, ui, files, o.configDir);
    SchedulerDriver driver(ctx, tickIntervalFromEnvironment());
    ProgramEnding ending(driver, ctx);
    Scheduling scheduling{driver, ending};
    startUp(ctx, driver.tick());
    scheduling.wire(dueTickServices([&ui](core::DbSession&) { ui.openSettingsDialog(); }), {});
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &app,
                     [&](int signal) { ending.request(signalEndLine(signal), o.tickOnce ? 128 + signal : 0); });
    if (o.tickOnce)
        return scheduling.tickOnce();
    QObject::connect(&termination, &TerminationSignals::hangupReceived, &app, [&] { driver.tick().reloadSettings(); });
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
        // A resident second start stays silent; the try-out command must not pass for a run.
        if (o.tickOnce) {
            say("another copy of the program holds the settings folder " + o.configDir.string() +
                "; this --tick-once did nothing");
            return 1;
        }
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
