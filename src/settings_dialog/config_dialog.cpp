#include "settings_dialog/config_dialog.h"

#include "common/messages.h"
#include "core/settings.h"
#include "platform_qt/qt_text.h"
#include "settings_dialog/folder_browse.h"
#include "settings_dialog/form_checks.h"
#include "settings_dialog/form_loading.h"
#include "settings_dialog/form_saving.h"
#include "settings_dialog/term_edit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>

#include <optional>

namespace settings_dialog {
namespace {

using platform_qt::fromQString;
using platform_qt::toQString;

void setText(QLineEdit* edit, const std::string& text) {
    if (edit->text() != toQString(text))
        edit->setText(toQString(text));
}

KindSchedule readKind(const KindControls& k) {
    KindSchedule kind;
    kind.enabled = k.type->isChecked();
    for (std::size_t i = 0; i < k.days.size(); ++i)
        kind.days[i] = k.days[i]->isChecked();
    kind.time = fromQString(k.time->time().toString(QStringLiteral("HH:mm")));
    return kind;
}

void writeKind(const KindControls& k, const KindSchedule& kind) {
    k.type->setChecked(kind.enabled);
    for (std::size_t i = 0; i < k.days.size(); ++i)
        k.days[i]->setChecked(kind.days[i]);
    k.time->setTime(QTime::fromString(toQString(kind.time), QStringLiteral("HH:mm")));
}

void fillDatabaseList(QTreeWidget* list, const std::vector<DatabaseItem>& items) {
    list->clear();
    for (const DatabaseItem& item : items) {
        auto* row = new QTreeWidgetItem(list, {toQString(item.name)});
        row->setFlags(row->flags() | Qt::ItemIsUserCheckable);
        row->setCheckState(0, item.ticked ? Qt::Checked : Qt::Unchecked);
    }
}

// Drawing of the dialog stays off while the checks move between tabs, and comes back however they end.
class UpdatesSuspended {
public:
    explicit UpdatesSuspended(QWidget* w) : w_(w) { w_->setUpdatesEnabled(false); }
    ~UpdatesSuspended() { w_->setUpdatesEnabled(true); }
    UpdatesSuspended(const UpdatesSuspended&) = delete;
    UpdatesSuspended& operator=(const UpdatesSuspended&) = delete;

private:
    QWidget* w_;
};

} // namespace

Frm_EnCrt_ScheduleBackup_Config::Frm_EnCrt_ScheduleBackup_Config(core::ProgramContext& ctx, core::DbSession& session,
                                                                 ServerListLoader loadServerList, QWidget* parent)
    : QDialog(parent), ctx_(ctx), session_(session), loadServerList_(std::move(loadServerList)) {
    setObjectName(QStringLiteral("Frm_EnCrt_ScheduleBackup_Config"));
    setWindowTitle(QStringLiteral("スケジュールバックアップ環境設定画面"));
    c_ = buildControls(*this);
    connectControls();
    Form_Load();
}

void Frm_EnCrt_ScheduleBackup_Config::Form_Load() {
    // Without the server's list the dialog still opens, on what the settings files say and with
    // an empty list; the design texts name folders of another system.
    loaded_ = loadServerList_ && loadServerList_(ctx_, session_);
    FormValues v = loadedValues(ctx_, session_.serverDatabases);
    if (!loaded_)
        v.databases.clear(); // what the list may still hold is not this server's answer
    setValues(v);
}

void Frm_EnCrt_ScheduleBackup_Config::connectControls() {
    for (const KindControls* kind : {&c_.all, &c_.diff, &c_.log})
        connect(kind->type, &QCheckBox::toggled, this, [this, kind] { applyKindEnabling(*kind); });
    connect(c_.Chk_FileCopy, &QCheckBox::toggled, this, &Frm_EnCrt_ScheduleBackup_Config::applyFileCopyEnabling);
    connect(c_.Txt_DBBackupFolder, &QLineEdit::textChanged, this,
            &Frm_EnCrt_ScheduleBackup_Config::Txt_DBBackupFolder_Change);
    connect(c_.Cmd_OK, &QPushButton::clicked, this, &Frm_EnCrt_ScheduleBackup_Config::Cmd_OK_Click);
    connect(c_.Cmd_Cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(c_.Cmd_DBBackupFolder, &QPushButton::clicked, this,
            [this] { browse(c_.Txt_DBBackupFolder, "DBバックアップファイル保存先フォルダを選択", true); });
    connect(c_.Cmd_DBBkFileCopy_TargetFolder, &QPushButton::clicked, this, [this] {
        browse(c_.Txt_DBBkFileCopy_TargetFolder, "DBバックアップファイルコピー先フォルダを選択", false);
    });
    connect(c_.Cmd_KEYMANAGEFileCopy_TargetFolder, &QPushButton::clicked, this, [this] {
        browse(c_.Txt_KEYMANAGEFileCopy_TargetFolder, "Sabrelund証明書フォルダコピー先フォルダを選択", false);
    });
    connect(c_.Cmd_GIJYUTUFileCopy_TargetFolder, &QPushButton::clicked, this, [this] {
        browse(c_.Txt_GIJYUTUFileCopy_TargetFolder, "Sabrelund技術資料フォルダコピー先フォルダを選択", false);
    });
}

FormValues Frm_EnCrt_ScheduleBackup_Config::values() const {
    FormValues v;
    for (int i = 0; i < c_.ListV_DBName->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = c_.ListV_DBName->topLevelItem(i);
        v.databases.push_back({fromQString(item->text(0)), item->checkState(0) == Qt::Checked});
    }
    v.dbBackupFolder = fromQString(c_.Txt_DBBackupFolder->text());
    v.localPreserveTerm = fromQString(c_.Txt_LocalPreserveTerm->text());
    v.all = readKind(c_.all);
    v.diff = readKind(c_.diff);
    v.log = readKind(c_.log);
    v.tempLogTerm = fromQString(c_.Txt_TempLogTerm->text());
    v.fileCopy = c_.Chk_FileCopy->isChecked();
    v.dbCopySource = fromQString(c_.Txt_DBBkFileCopy_SourceFolder->text());
    v.dbCopyTarget = fromQString(c_.Txt_DBBkFileCopy_TargetFolder->text());
    v.outSidePreserveTerm = fromQString(c_.Txt_OutSidePreserveTerm->text());
    v.keySource = fromQString(c_.Txt_KEYMANAGEFileCopy_SourceFolder->text());
    v.keyTarget = fromQString(c_.Txt_KEYMANAGEFileCopy_TargetFolder->text());
    v.gijyutuSource = fromQString(c_.Txt_GIJYUTUFileCopy_SourceFolder->text());
    v.gijyutuTarget = fromQString(c_.Txt_GIJYUTUFileCopy_TargetFolder->text());
    return v;
}

void Frm_EnCrt_ScheduleBackup_Config::setValues(const FormValues& v) {
    fillDatabaseList(c_.ListV_DBName, v.databases);
    setText(c_.Txt_DBBackupFolder, v.dbBackupFolder);
    setText(c_.Txt_LocalPreserveTerm, v.localPreserveTerm);
    writeKind(c_.all, v.all);
    writeKind(c_.diff, v.diff);
    writeKind(c_.log, v.log);
    setText(c_.Txt_TempLogTerm, v.tempLogTerm);
    c_.Chk_FileCopy->setChecked(v.fileCopy);
    setText(c_.Txt_DBBkFileCopy_SourceFolder, v.dbCopySource);
    setText(c_.Txt_DBBkFileCopy_TargetFolder, v.dbCopyTarget);
    setText(c_.Txt_OutSidePreserveTerm, v.outSidePreserveTerm);
    setText(c_.Txt_KEYMANAGEFileCopy_SourceFolder, v.keySource);
    setText(c_.Txt_KEYMANAGEFileCopy_TargetFolder, v.keyTarget);
    setText(c_.Txt_GIJYUTUFileCopy_SourceFolder, v.gijyutuSource);
    setText(c_.Txt_GIJYUTUFileCopy_TargetFolder, v.gijyutuTarget);
    // A check box set to the state it already had sends no signal; the groups must follow anyway.
    for (const KindControls* kind : {&c_.all, &c_.diff, &c_.log})
        applyKindEnabling(*kind);
    applyFileCopyEnabling();
}

void Frm_EnCrt_ScheduleBackup_Config::applyKindEnabling(const KindControls& kind) {
    const bool on = kind.type->isChecked();
    for (QCheckBox* day : kind.days)
        day->setEnabled(on);
    kind.time->setEnabled(on);
}

void Frm_EnCrt_ScheduleBackup_Config::applyFileCopyEnabling() {
    const bool on = c_.Chk_FileCopy->isChecked();
    for (QWidget* w : c_.copyControls())
        w->setEnabled(on);
}

void Frm_EnCrt_ScheduleBackup_Config::Txt_DBBackupFolder_Change() {
    // The copy tab always shows the local backup folder as the source of the file copy.
    c_.Txt_DBBkFileCopy_SourceFolder->setText(c_.Txt_DBBackupFolder->text());
}

void Frm_EnCrt_ScheduleBackup_Config::browse(QLineEdit* field, const char* title, bool localOnly) {
    if (const auto chosen = browseForField(ctx_.ui, ctx_.files, title, fromQString(field->text()), localOnly))
        field->setText(toQString(*chosen));
}

bool Frm_EnCrt_ScheduleBackup_Config::fnCheckInput() {
    std::optional<CheckFailure> failure;
    {
        UpdatesSuspended suspended(this);
        const int remembered = c_.Tab_Select->currentIndex();
        FormValues v = values();
        failure = fnCheckSchedule(v, ctx_.files);
        if (!failure)
            failure = fnCheckFileCopy(v, ctx_.files);
        writeBackTerms(v);
        c_.Tab_Select->setCurrentIndex(failure ? failure->tab : remembered);
    }
    if (!failure)
        return true;
    // Drawing is back before the message: the box is modal, and the tab behind it must show the
    // field it speaks of (and not keep the image of a moved box).
    showNotice(ctx_.ui, failure->notice);
    focusControl(failure->focus);
    return false;
}

void Frm_EnCrt_ScheduleBackup_Config::writeBackTerms(const FormValues& v) {
    // The term checks leave their fields in normal form (half-width, no leading zeros) or reset.
    setText(c_.Txt_LocalPreserveTerm, v.localPreserveTerm);
    setText(c_.Txt_TempLogTerm, v.tempLogTerm);
    setText(c_.Txt_OutSidePreserveTerm, v.outSidePreserveTerm);
}

void Frm_EnCrt_ScheduleBackup_Config::focusControl(const std::string& objectName) {
    if (auto* w = findChild<QWidget*>(toQString(objectName)))
        w->setFocus(Qt::OtherFocusReason);
}

void Frm_EnCrt_ScheduleBackup_Config::Cmd_OK_Click() {
    if (!fnCheckInput())
        return;
    // A settings file that cannot be written keeps the dialog open with the user's values, for
    // another try once the file is writable, or for Cancel.
    if (!fnSaveSettings(ctx_, values()))
        return;
    reloaded_ = core::fnLoadSettings(ctx_, session_.serverDatabases);
    if (!*reloaded_)
        common::fnQRMES01_DispMessage(ctx_.ui, 3001, 0, "INIファイルのロード", "", "");
    accept();
}

void Frm_EnCrt_ScheduleBackup_Config::done(int result) {
    session_.release(); // Form_Unload: the connection was opened to fetch the list
    QDialog::done(result);
}

int showSettingsDialog(core::ProgramContext& ctx, core::DbSession& session, QWidget* parent,
                       ServerListLoader loadServerList) {
    Frm_EnCrt_ScheduleBackup_Config dialog(ctx, session, std::move(loadServerList), parent);
    return dialog.exec();
}

} // namespace settings_dialog
