#pragma once
// Frm_EnCrt_ScheduleBackup_Config: the settings dialog. It loads from the settings files and the
// server's database list when it is created, checks everything when OK is pressed, saves and
// reloads the program's settings, and releases its session's database connection when it closes.

#include "core/context.h"
#include "core/settings.h"
#include "settings_dialog/dialog_controls.h"
#include "settings_dialog/form_values.h"
#include "settings_dialog/server_list.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;

namespace settings_dialog {

// Opens the product database into the session and fills its server list; false when either
// failed (after its own message).
using ServerListLoader = std::function<bool(core::ProgramContext&, core::DbSession&)>;

class Frm_EnCrt_ScheduleBackup_Config : public QDialog {
    Q_OBJECT
public:
    // `session` is the opener's: a due tick checks its settings again on the list loaded here.
    Frm_EnCrt_ScheduleBackup_Config(core::ProgramContext& ctx, core::DbSession& session,
                                    ServerListLoader loadServerList = openDatabaseAndLoadList,
                                    QWidget* parent = nullptr);

    // True when the server's database list was fetched; without it the controls show the settings
    // files' values (empty where there are none) and an empty list.
    bool loaded() const { return loaded_; }
    // The settings loaded again after a save; none before one.
    const std::optional<core::LoadedSettings>& reloaded() const { return reloaded_; }

    // What the controls show, and setting them (the enabling rules follow).
    FormValues values() const;
    void setValues(const FormValues& v);

    // Every check in order; the first failure is shown, its tab selected and its control focused.
    bool fnCheckInput();

    // Closing in any way (OK, Cancel, Escape, the close box) releases the session's connection.
    void done(int result) override;

private:
    void Form_Load();
    void connectControls();
    void Cmd_OK_Click();
    void Txt_DBBackupFolder_Change();
    void applyKindEnabling(const KindControls& kind);
    void applyFileCopyEnabling();
    void browse(QLineEdit* field, const char* title, bool localOnly);
    void writeBackTerms(const FormValues& v);
    void focusControl(const std::string& objectName);

    core::ProgramContext& ctx_;
    core::DbSession& session_;
    ServerListLoader loadServerList_;
    DialogControls c_;
    bool loaded_ = false;
    std::optional<core::LoadedSettings> reloaded_;
};

// Shows the dialog modally; QDialog::Accepted when the settings were saved.
int showSettingsDialog(core::ProgramContext& ctx, core::DbSession& session, QWidget* parent = nullptr,
                       ServerListLoader loadServerList = openDatabaseAndLoadList);

} // namespace settings_dialog
