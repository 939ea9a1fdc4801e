#pragma once
// Frm_EnCrt_ScheduleBackup: the hidden resident window. It is never shown; its caption names the
// program, it owns Timer1 (through the scheduler driver) and the tray icon, and it carries out
// the two menu commands.

#include "app/scheduler_driver.h"
#include "core/context.h"

#include <QWidget>

#include <functional>
#include <string_view>

namespace app {

class TrayIcon;

class Frm_EnCrt_ScheduleBackup : public QWidget {
    Q_OBJECT
public:
    // Opens the settings dialog modally and returns when it is closed.
    using SettingsOpener = std::function<void()>;

    // Without `withTray` (no notification area on this desktop) the window keeps no icon.
    Frm_EnCrt_ScheduleBackup(core::ProgramContext& ctx, SettingsOpener openSettings, bool withTray,
                             std::chrono::milliseconds interval = SchedulerDriver::kInterval);
    ~Frm_EnCrt_ScheduleBackup() override;

    SchedulerDriver& driver() { return *driver_; }
    TrayIcon* trayIcon() const { return tray_; }

    // Shows the icon, sets the caption and switches Timer1 on.
    void Form_Load();
    // Removes the icon, stops the timer and signals `ended`.
    void Form_Unload();

    void PopMenu1_SetUp_Click();
    // While a job runs the settings command is greyed out: the job holds the settings until it
    // ends, and a dialog saved meanwhile would not be what it backs up.
    void setSettingsCommandEnabled(bool enabled);
    void PopMenu1_End_Click();

    // A notice as a balloon at the icon; without a notification area, one line on standard error.
    void showNotice(std::string_view text, std::string_view title);

signals:
    // The program is to end now.
    void ended();

private:
    core::ProgramContext& ctx_;
    SettingsOpener openSettings_;
    SchedulerDriver* driver_;
    TrayIcon* tray_ = nullptr;
    bool settingsOpen_ = false;
    bool unloaded_ = false;
};

} // namespace app
