// Building the settings dialog's controls: captions, design texts, layout and tab order.

#include "settings_dialog/dialog_controls.h"
#include "settings_dialog/term_edit.h"

#include <QCheckBox>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace settings_dialog {
namespace {

constexpr int kTermWidth = 48;
constexpr int kDialogWidth = 720; // room for a full folder path; well inside a 1024-pixel screen
constexpr int kBrowseWidth = 32;

template <class W, class... Args> W* make(const char* name, QWidget* parent, Args&&... args) {
    W* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QLatin1String(name));
    return w;
}

QLabel* label(const char* name, const QString& text, QWidget* parent) {
    return make<QLabel>(name, parent, text);
}

QLineEdit* termEdit(QLineEdit* edit) {
    edit->setFixedWidth(kTermWidth);
    edit->setAlignment(Qt::AlignRight);
    return edit;
}

QPushButton* browseButton(const char* name, QWidget* parent) {
    auto* button = make<QPushButton>(name, parent, QStringLiteral("..."));
    button->setFixedWidth(kBrowseWidth);
    button->setAutoDefault(false);
    return button;
}

// "保持期間 [term] 日間" and the like, left-aligned in one row.
QHBoxLayout* termRow(QLabel* before, QLineEdit* term, QLabel* after) {
    auto* row = new QHBoxLayout;
    row->addWidget(before);
    row->addWidget(term);
    row->addWidget(after);
    row->addStretch();
    return row;
}

// A kind's check box and, beside it, its frame with the seven day boxes and the time picker.
KindControls buildKind(QWidget* parent, QGridLayout* grid, int row, const char* kind, const char* frame,
                       const QString& caption) {
    static const char* const kDayNames[] = {"月", "火", "水", "木", "金", "土", "日"};
    KindControls k;
    const QString prefix = QStringLiteral("Chk_DBBkType_") + QLatin1String(kind);
    k.type = new QCheckBox(caption, parent);
    k.type->setObjectName(prefix);
    k.frame = make<QGroupBox>(frame, parent);
    auto* days = new QHBoxLayout(k.frame);
    days->setContentsMargins(8, 4, 8, 4);
    for (int i = 0; i < 7; ++i) {
        k.days[i] = new QCheckBox(QString::fromUtf8(kDayNames[i]), k.frame);
        k.days[i]->setObjectName(QStringLiteral("Chk_DBBkSche%1_Day(%2)").arg(QLatin1String(kind)).arg(i));
        days->addWidget(k.days[i]);
    }
    days->addSpacing(16);
    k.time = new QTimeEdit(k.frame);
    k.time->setObjectName(QStringLiteral("DTP_DBBkSche%1_Time").arg(QLatin1String(kind)));
    k.time->setDisplayFormat(QStringLiteral("HH:mm"));
    days->addWidget(k.time);
    days->addStretch();
    grid->addWidget(k.type, row, 0);
    grid->addWidget(k.frame, row, 1);
    return k;
}

void buildDatabaseList(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Label1 = label("Label1", QStringLiteral("データベース(&B)"), page);
    c.ListV_DBName = make<QTreeWidget>("ListV_DBName", page);
    c.ListV_DBName->setColumnCount(1);
    c.ListV_DBName->setHeaderLabels({QStringLiteral("DBName")});
    c.ListV_DBName->setRootIsDecorated(false);
    c.ListV_DBName->setUniformRowHeights(true);
    c.ListV_DBName->header()->setStretchLastSection(true);
    c.ListV_DBName->setMinimumHeight(110);
    c.Label1->setBuddy(c.ListV_DBName);
    column->addWidget(c.Label1);
    column->addWidget(c.ListV_DBName, 1);
}

void buildLocalFolder(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Frame1 = make<QGroupBox>("Frame1", page, QStringLiteral("出力先（ローカルのみ）"));
    c.Txt_DBBackupFolder = make<QLineEdit>("Txt_DBBackupFolder", c.Frame1);
    c.Cmd_DBBackupFolder = browseButton("Cmd_DBBackupFolder", c.Frame1);
    c.Label9 = label("Label9", QStringLiteral("保持期間"), c.Frame1);
    c.Txt_LocalPreserveTerm = termEdit(make<QLineEdit>("Txt_LocalPreserveTerm", c.Frame1));
    c.Label10 = label("Label10", QStringLiteral("日間"), c.Frame1);
    auto* box = new QVBoxLayout(c.Frame1);
    auto* folder = new QHBoxLayout;
    folder->addWidget(c.Txt_DBBackupFolder, 1);
    folder->addWidget(c.Cmd_DBBackupFolder);
    box->addLayout(folder);
    box->addLayout(termRow(c.Label9, c.Txt_LocalPreserveTerm, c.Label10));
    column->addWidget(c.Frame1);
}

void buildKinds(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Frame2 = make<QGroupBox>("Frame2", page, QStringLiteral("バックアップ"));
    auto* grid = new QGridLayout(c.Frame2);
    c.all = buildKind(c.Frame2, grid, 0, "All", "Frame3", QStringLiteral("全体"));
    c.diff = buildKind(c.Frame2, grid, 1, "Diff", "Frame4", QStringLiteral("差分"));
    c.log = buildKind(c.Frame2, grid, 2, "Log", "Frame5", QStringLiteral("ログ"));
    grid->setColumnStretch(1, 1);
    column->addWidget(c.Frame2);
}

void buildTempLog(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Frame10 = make<QGroupBox>("Frame10", page, QStringLiteral("受信メールデータ"));
    c.Label13 = label("Label13", QStringLiteral("保管期限"), c.Frame10);
    c.Txt_TempLogTerm = make<DigitsOnlyLineEdit>("Txt_TempLogTerm", c.Frame10);
    termEdit(c.Txt_TempLogTerm);
    c.Label14 = label("Label14", QStringLiteral("日間"), c.Frame10);
    c.Frame10->setLayout(termRow(c.Label13, c.Txt_TempLogTerm, c.Label14));
    column->addWidget(c.Frame10);
}

QWidget* buildScheduleTab(DialogControls& c) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    buildDatabaseList(c, page, column);
    buildLocalFolder(c, page, column);
    buildKinds(c, page, column);
    buildTempLog(c, page, column);
    return page;
}

// A source folder (shown only) and a target folder with its browse button, in grid rows.
void folderRows(QGridLayout* grid, int row, QLabel* sourceLabel, QLineEdit* source, QLabel* targetLabel,
                QLineEdit* target, QPushButton* browse) {
    // The sources are shown, never stored: read-only, on the window's colour so they do not invite typing.
    source->setReadOnly(true);
    QPalette palette = source->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    source->setPalette(palette);
    grid->addWidget(sourceLabel, row, 0);
    grid->addWidget(source, row, 1, 1, 2);
    grid->addWidget(targetLabel, row + 1, 0);
    grid->addWidget(target, row + 1, 1);
    grid->addWidget(browse, row + 1, 2);
    grid->setColumnStretch(1, 1);
}

void buildBackupFileCopy(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Frame6 = make<QGroupBox>("Frame6", page, QStringLiteral("DBバックアップファイル"));
    c.Label2 = label("Label2", QStringLiteral("コピーするファイルの格納フォルダ"), c.Frame6);
    c.Txt_DBBkFileCopy_SourceFolder = make<QLineEdit>("Txt_DBBkFileCopy_SourceFolder", c.Frame6);
    c.Label3 = label("Label3", QStringLiteral("コピー先フォルダ"), c.Frame6);
    c.Txt_DBBkFileCopy_TargetFolder = make<QLineEdit>("Txt_DBBkFileCopy_TargetFolder", c.Frame6);
    c.Cmd_DBBkFileCopy_TargetFolder = browseButton("Cmd_DBBkFileCopy_TargetFolder", c.Frame6);
    c.Label11 = label("Label11", QStringLiteral("保持期間"), c.Frame6);
    c.Txt_OutSidePreserveTerm = termEdit(make<QLineEdit>("Txt_OutSidePreserveTerm", c.Frame6));
    c.Label12 = label("Label12", QStringLiteral("日間"), c.Frame6);
    auto* grid = new QGridLayout(c.Frame6);
    folderRows(grid, 0, c.Label2, c.Txt_DBBkFileCopy_SourceFolder, c.Label3, c.Txt_DBBkFileCopy_TargetFolder,
               c.Cmd_DBBkFileCopy_TargetFolder);
    grid->addLayout(termRow(c.Label11, c.Txt_OutSidePreserveTerm, c.Label12), 2, 0, 1, 3);
    column->addWidget(c.Frame6);
}

QGroupBox* productFolderFrame(const char* name, const QString& title, QWidget* parent, QLabel*& sourceLabel,
                              QLineEdit*& source, QLabel*& targetLabel, QLineEdit*& target, QPushButton*& browse,
                              const char* const names[5]) {
    auto* frame = make<QGroupBox>(name, parent, title);
    sourceLabel = label(names[0], QStringLiteral("コピーするフォルダ"), frame);
    source = make<QLineEdit>(names[1], frame);
    targetLabel = label(names[2], QStringLiteral("コピー先フォルダ"), frame);
    target = make<QLineEdit>(names[3], frame);
    browse = browseButton(names[4], frame);
    folderRows(new QGridLayout(frame), 0, sourceLabel, source, targetLabel, target, browse);
    return frame;
}

void buildProductFolders(DialogControls& c, QWidget* page, QVBoxLayout* column) {
    c.Frame7 = make<QGroupBox>("Frame7", page, QStringLiteral("Sabrelundフォルダ"));
    static const char* const kKeyNames[5] = {"Label4", "Txt_KEYMANAGEFileCopy_SourceFolder", "Label5",
                                             "Txt_KEYMANAGEFileCopy_TargetFolder",
                                             "Cmd_KEYMANAGEFileCopy_TargetFolder"};
    static const char* const kDocNames[5] = {"Label6", "Txt_GIJYUTUFileCopy_SourceFolder", "Label7",
                                             "Txt_GIJYUTUFileCopy_TargetFolder", "Cmd_GIJYUTUFileCopy_TargetFolder"};
    c.Frame8 = productFolderFrame("Frame8", QStringLiteral("証明書ファイルのフォルダ"), c.Frame7, c.Label4,
                                  c.Txt_KEYMANAGEFileCopy_SourceFolder, c.Label5, c.Txt_KEYMANAGEFileCopy_TargetFolder,
                                  c.Cmd_KEYMANAGEFileCopy_TargetFolder, kKeyNames);
    c.Frame9 = productFolderFrame("Frame9", QStringLiteral("技術資料ファイルのフォルダ"), c.Frame7, c.Label6,
                                  c.Txt_GIJYUTUFileCopy_SourceFolder, c.Label7, c.Txt_GIJYUTUFileCopy_TargetFolder,
                                  c.Cmd_GIJYUTUFileCopy_TargetFolder, kDocNames);
    auto* box = new QVBoxLayout(c.Frame7);
    box->addWidget(c.Frame8);
    box->addWidget(c.Frame9);
    column->addWidget(c.Frame7);
}

QWidget* buildFileCopyTab(DialogControls& c) {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    c.Chk_FileCopy = make<QCheckBox>("Chk_FileCopy", page, QStringLiteral("ローカル以外へコピーをする"));
    c.Label8 =
        label("Label8",
              QStringLiteral(
                  "（ネットワークドライブや、外部メディアへバックアップをコピーする場合は、チェックしてください）"),
              page);
    c.Label8->setWordWrap(true);
    column->addWidget(c.Chk_FileCopy);
    column->addWidget(c.Label8);
    buildBackupFileCopy(c, page, column);
    buildProductFolders(c, page, column);
    column->addStretch();
    return page;
}

QHBoxLayout* buildButtons(DialogControls& c, QDialog& dialog) {
    c.Cmd_OK = make<QPushButton>("Cmd_OK", &dialog, QStringLiteral("OK"));
    c.Cmd_Cancel = make<QPushButton>("Cmd_Cancel", &dialog, QStringLiteral("ｷｬﾝｾﾙ"));
    c.Cmd_OK->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(c.Cmd_OK);
    row->addWidget(c.Cmd_Cancel);
    return row;
}

} // namespace

std::vector<QWidget*> DialogControls::copyControls() const {
    return {Label2,
            Txt_DBBkFileCopy_SourceFolder,
            Label3,
            Txt_DBBkFileCopy_TargetFolder,
            Cmd_DBBkFileCopy_TargetFolder,
            Label4,
            Frame8,
            Frame9,
            Txt_KEYMANAGEFileCopy_SourceFolder,
            Label5,
            Txt_KEYMANAGEFileCopy_TargetFolder,
            Cmd_KEYMANAGEFileCopy_TargetFolder,
            Label6,
            Txt_GIJYUTUFileCopy_SourceFolder,
            Label7,
            Txt_GIJYUTUFileCopy_TargetFolder,
            Cmd_GIJYUTUFileCopy_TargetFolder,
            Label11,
            Label12,
            Txt_OutSidePreserveTerm};
}

DialogControls buildControls(QDialog& dialog) {
    DialogControls c;
    c.Tab_Select = make<QTabWidget>("Tab_Select", &dialog);
    // Pages are created in display order, so the focus chain runs top to bottom through each tab.
    c.Tab_Select->addTab(buildScheduleTab(c), QStringLiteral("DBバックアップスケジュール"));
    c.Tab_Select->addTab(buildFileCopyTab(c), QStringLiteral("ファイル／フォルダコピー"));
    dialog.setMinimumWidth(kDialogWidth);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(c.Tab_Select);
    layout->addLayout(buildButtons(c, dialog));
    return c;
}

} // namespace settings_dialog
