#pragma once
// The controls of the settings dialog, each under the name it carries as objectName. Built by
// buildControls, owned by the dialog through Qt's parent chain.

#include <array>
#include <vector>

class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimeEdit;
class QTreeWidget;
class QWidget;

namespace settings_dialog {

class DigitsOnlyLineEdit;

// One backup kind: its check box, the frame beside it, seven day boxes (Monday first) and the
// time picker.
struct KindControls {
    QCheckBox* type = nullptr;
    QGroupBox* frame = nullptr;
    std::array<QCheckBox*, 7> days{};
    QTimeEdit* time = nullptr;
};

struct DialogControls {
    QTabWidget* Tab_Select = nullptr;

    // Tab 0.
    QLabel* Label1 = nullptr;
    QTreeWidget* ListV_DBName = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLineEdit* Txt_DBBackupFolder = nullptr;
    QPushButton* Cmd_DBBackupFolder = nullptr;
    QLabel* Label9 = nullptr;
    QLineEdit* Txt_LocalPreserveTerm = nullptr;
    QLabel* Label10 = nullptr;
    QGroupBox* Frame2 = nullptr;
    KindControls all, diff, log;
    QGroupBox* Frame10 = nullptr;
    QLabel* Label13 = nullptr;
    DigitsOnlyLineEdit* Txt_TempLogTerm = nullptr;
    QLabel* Label14 = nullptr;

    // Tab 1.
    QCheckBox* Chk_FileCopy = nullptr;
    QLabel* Label8 = nullptr;
    QGroupBox* Frame6 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Txt_DBBkFileCopy_SourceFolder = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Txt_DBBkFileCopy_TargetFolder = nullptr;
    QPushButton* Cmd_DBBkFileCopy_TargetFolder = nullptr;
    QLabel* Label11 = nullptr;
    QLineEdit* Txt_OutSidePreserveTerm = nullptr;
    QLabel* Label12 = nullptr;
    QGroupBox* Frame7 = nullptr;
    QGroupBox* Frame8 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Txt_KEYMANAGEFileCopy_SourceFolder = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Txt_KEYMANAGEFileCopy_TargetFolder = nullptr;
    QPushButton* Cmd_KEYMANAGEFileCopy_TargetFolder = nullptr;
    QGroupBox* Frame9 = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* Txt_GIJYUTUFileCopy_SourceFolder = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Txt_GIJYUTUFileCopy_TargetFolder = nullptr;
    QPushButton* Cmd_GIJYUTUFileCopy_TargetFolder = nullptr;

    QPushButton* Cmd_OK = nullptr;
    QPushButton* Cmd_Cancel = nullptr;

    // The 20 controls that the copy check box enables.
    std::vector<QWidget*> copyControls() const;
};

// Creates every control inside `dialog`, laid out, captioned and in a sensible tab order.
DialogControls buildControls(QDialog& dialog);

} // namespace settings_dialog
