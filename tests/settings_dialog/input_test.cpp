// The temporary-log term's key filter, the folder buttons, and the dialog as a person meets it:
// its size, its keyboard access. With ENCRT_SNAPSHOT_DIR set, each tab is also saved as a PNG.

#include "dialog_fixture.h"
#include "qtest_main.h"
#include "settings_dialog/term_edit.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTreeWidget>

using namespace dialogtest;

class InputTest : public QObject {
    Q_OBJECT
private slots:
    void termFieldTakesDigitsOnly();
    void termFieldRefusesPaste();
    void folderButtons_data();
    void folderButtons();
    void chooserOpensOnAnExistingFolder();
    void fitsTheScreenAndWorksByKeyboard();
};

void InputTest::termFieldTakesDigitsOnly() {
    DialogFixture f;
    auto d = f.openValid();
    auto* term = find<QLineEdit>(*d, "Txt_TempLogTerm");
    term->clear();
    QTest::keyClicks(term, "1a2 -3.");
    QCOMPARE(term->text(), "123");
    QTest::sendKeyEvent(QTest::Click, term, Qt::Key_unknown, u("４"), Qt::NoModifier);
    QTest::keyClick(term, Qt::Key_Left);
    QTest::keyClick(term, Qt::Key_Backspace);
    QTest::keyClick(term, Qt::Key_Delete);
    QTest::keyClick(term, Qt::Key_7, Qt::KeypadModifier);
    QCOMPARE(term->text(), "17");
    QVERIFY(!term->testAttribute(Qt::WA_InputMethodEnabled));
    QInputMethodEvent commit;
    commit.setCommitString(u("９"));
    QApplication::sendEvent(term, &commit);
    QCOMPARE(term->text(), "17");

    // Only this field is filtered.
    auto* local = find<QLineEdit>(*d, "Txt_LocalPreserveTerm");
    local->clear();
    QTest::keyClicks(local, "1a");
    QCOMPARE(local->text(), "1a");
}

void InputTest::termFieldRefusesPaste() {
    DialogFixture f;
    auto d = f.openValid();
    auto* term = find<QLineEdit>(*d, "Txt_TempLogTerm");
    QApplication::clipboard()->setText("55");
    term->setText("1");
    term->setFocus();
    QTest::keyClick(term, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(term, Qt::Key_Insert, Qt::ShiftModifier);
    QTest::mouseClick(term, Qt::MiddleButton);
    QCOMPARE(term->text(), "1");
    QVERIFY(!term->acceptDrops());

    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2), term->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(term, &menuEvent);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu);
    // Whatever the menu offers, none of it brings the clipboard in.
    for (QAction* action : menu->actions()) {
        term->setText("1");
        term->selectAll();
        action->trigger();
        QVERIFY2(!term->text().contains("55"), qPrintable(action->text()));
    }
    QVERIFY(menu->actions().size() >= 5);
    menu->close();
}

// A folder button, the chooser's answer ("$ext" is the fixture's folder, "" a cancel) and the
// refusal shown, "" when the answer is taken.
struct FolderCase {
    const char* name;
    const char* button;
    const char* field;
    const char* answer;
    const char* refusal;
};

const FolderCase kFolderCases[] = {
    {"local on a fixed disk", "Cmd_DBBackupFolder", "Txt_DBBackupFolder", "$ext", ""},
    {"local cancelled", "Cmd_DBBackupFolder", "Txt_DBBackupFolder", "", ""},
    {"local on a RAM disk", "Cmd_DBBackupFolder", "Txt_DBBackupFolder", "/dev/shm", "指定できないドライブです。"},
    {"local with no root", "Cmd_DBBackupFolder", "Txt_DBBackupFolder", "no/root", "存在しないドライブです。"},
    {"local on proc", "Cmd_DBBackupFolder", "Txt_DBBackupFolder", "/proc", "判別できないドライブです。"},
    {"backup target on a RAM disk", "Cmd_DBBkFileCopy_TargetFolder", "Txt_DBBkFileCopy_TargetFolder", "/dev/shm", ""},
    {"certificate target", "Cmd_KEYMANAGEFileCopy_TargetFolder", "Txt_KEYMANAGEFileCopy_TargetFolder", "/dev/shm", ""},
    {"documents target", "Cmd_GIJYUTUFileCopy_TargetFolder", "Txt_GIJYUTUFileCopy_TargetFolder", "$ext", ""},
};

void InputTest::folderButtons_data() {
    addRows(kFolderCases);
}

void InputTest::folderButtons() {
    QFETCH(int, row);
    const FolderCase& c = kFolderCases[row];
    DialogFixture f;
    auto d = f.openValid();
    const std::string answer = c.answer == std::string("$ext") ? f.path("ext") : c.answer;
    f.ui.folderAnswers.push_back(answer);
    const QString before = text(*d, c.field);
    click(*d, c.button);

    // The chooser opens on the field's folder.
    QCOMPARE(f.ui.lines.at(0).substr(f.ui.lines.at(0).rfind('\t') + 1), before.toStdString());
    const bool taken = !answer.empty() && !*c.refusal;
    QCOMPARE(text(*d, c.field), taken ? QString::fromStdString(answer) : before);
    if (*c.refusal)
        QCOMPARE(f.ui.lines.at(1), std::string("MSGBOX\texclamation\tスケジュールバックアップ\t") + c.refusal);
    else
        QCOMPARE(f.ui.lines.size(), 1u);
    QCOMPARE(text(*d, "Txt_DBBkFileCopy_SourceFolder"), text(*d, "Txt_DBBackupFolder"));
}

// Never at the process's working folder, which a chooser falls back to for a path it cannot open.
void InputTest::chooserOpensOnAnExistingFolder() {
    DialogFixture f;
    auto d = f.openValid();
    const std::string ext = f.path("ext");
    const std::pair<std::string, std::string> cases[] = {
        {"", "/"}, {"  ", "/"}, {"relative/folder", "/"}, {ext + "/gone/deeper", ext}, {ext, ext}};
    for (const auto& [typed, opensAt] : cases) {
        f.ui.lines.clear();
        setText(*d, "Txt_KEYMANAGEFileCopy_TargetFolder", QString::fromStdString(typed));
        click(*d, "Cmd_KEYMANAGEFileCopy_TargetFolder");
        QCOMPARE(f.ui.lines,
                 std::vector<std::string>{"CHOOSE\tSabrelund証明書フォルダコピー先フォルダを選択\t" + opensAt});
    }
}

void InputTest::fitsTheScreenAndWorksByKeyboard() {
    DialogFixture f;
    auto d = f.openValid();
    QVERIFY(QTest::qWaitForWindowActive(d.get()));
    auto* tabs = find<QTabWidget>(*d, "Tab_Select");
    const QByteArray snapshots = qgetenv("ENCRT_SNAPSHOT_DIR");
    for (int tab : {0, 1}) {
        tabs->setCurrentIndex(tab);
        d->adjustSize();
        QVERIFY2(d->frameGeometry().width() <= 1024 && d->frameGeometry().height() <= 740,
                 qPrintable(QStringLiteral("%1x%2").arg(d->width()).arg(d->height())));
        if (!snapshots.isEmpty())
            d->grab().save(QString::fromLocal8Bit(snapshots) + QStringLiteral("/settings-tab%1.png").arg(tab));
    }

    if (!snapshots.isEmpty()) {
        f.serverReachable = false;
        auto design = f.open();
        design->grab().save(QString::fromLocal8Bit(snapshots) + QStringLiteral("/settings-design.png"));
    }

    // Alt+B reaches the database list; Space ticks its current item; Escape closes without saving.
    tabs->setCurrentIndex(0);
    QTest::keyClick(d.get(), Qt::Key_B, Qt::AltModifier);
    auto* list = find<QTreeWidget>(*d, "ListV_DBName");
    QCOMPARE(QApplication::focusWidget(), list);
    list->setCurrentItem(list->topLevelItem(2));
    QTest::keyClick(list, Qt::Key_Space);
    QCOMPARE(list->topLevelItem(2)->checkState(0), Qt::Checked);
    const std::string before = f.ini();
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!d->isVisible());
    QCOMPARE(f.ini(), before);
}

ENCRT_QTEST_MAIN(InputTest)
#include "input_test.moc"
