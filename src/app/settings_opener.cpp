#include "app/settings_opener.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace app {

// A stand-in until the settings dialog is built: it only shows that it is one and closes.
void openSettingsDialog(scheduler::ProgramContext&, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SettingsPlaceholder"));
    dialog.setWindowTitle(QStringLiteral("スケジュールバックアップ 設定（仮）"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("設定画面は準備中です。"), &dialog));
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace app
