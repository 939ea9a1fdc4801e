#include "app/resident_window.h"

#include "app/app_texts.h"
#include "app/tray_icon.h"
#include "platform_qt/qt_text.h"

#include <QAction>

#include <cstdio>
#include <string>

namespace app {

Frm_EnCrt_ScheduleBackup::Frm_EnCrt_ScheduleBackup(core::ProgramContext& ctx, SettingsOpener openSettings,
                                                   bool withTray, std::chrono::milliseconds interval)
    : ctx_(ctx), openSettings_(std::move(openSettings)), driver_(new SchedulerDriver(ctx, interval, this)) {
    setObjectName(QStringLiteral("Frm_EnCrt_ScheduleBackup"));
    if (withTray) {
        tray_ = new TrayIcon(this);
        connect(tray_, &TrayIcon::setUpChosen, this, &Frm_EnCrt_ScheduleBackup::PopMenu1_SetUp_Click);
        connect(tray_, &TrayIcon::endChosen, this, &Frm_EnCrt_ScheduleBackup::PopMenu1_End_Click);
    }
}

Frm_EnCrt_ScheduleBackup::~Frm_EnCrt_ScheduleBackup() = default;

void Frm_EnCrt_ScheduleBackup::Form_Load() {
    if (tray_)
        tray_->show();
    setWindowTitle(platform_qt::toQString(kResidentCaption));
    hide();
    driver_->setEnabled(true);
}

void Frm_EnCrt_ScheduleBackup::Form_Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    if (tray_)
        tray_->hide();
    driver_->setEnabled(false);
    emit ended();
}

void Frm_EnCrt_ScheduleBackup::PopMenu1_SetUp_Click() {
    if (settingsOpen_ || unloaded_)
        return; // the dialog is already open (the menu stays reachable while it is)
    settingsOpen_ = true;
    driver_->setEnabled(false);
    if (openSettings_)
        openSettings_();
    settingsOpen_ = false;
    // Closing the dialog starts the scheduler again; the settings saved are loaded at its next tick.
    if (!unloaded_)
        driver_->setEnabled(true);
}

void Frm_EnCrt_ScheduleBackup::setSettingsCommandEnabled(bool enabled) {
    if (tray_)
        tray_->PopMenu1_SetUp()->setEnabled(enabled);
}

void Frm_EnCrt_ScheduleBackup::PopMenu1_End_Click() {
    Form_Unload();
}

void Frm_EnCrt_ScheduleBackup::showNotice(std::string_view text, std::string_view title) {
    if (tray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_->showMessage(platform_qt::toQString(title), platform_qt::toQString(text), QSystemTrayIcon::Warning);
        return;
    }
    const std::string line = std::string(kProgramName) + ": " + std::string(title) + ": " + std::string(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace app
