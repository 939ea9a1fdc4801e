// What OK finds wrong, in which order, and where it leaves the user.

#include "dialog_fixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

using namespace dialogtest;

namespace {

void setText(QWidget& d, const char* field, const std::string& text) {
    find<QLineEdit>(d, field)->setText(QString::fromStdString(text));
}

void untickAll(QWidget& d, const char* prefix) {
    for (int i = 0; i < 7; ++i)
        find<QCheckBox>(d, QStringLiteral("%1(%2)").arg(prefix).arg(i).toLatin1())->setChecked(false);
}

// One way of breaking a field, and what OK must then say. Rows are in the order of the checks.
struct Breakage {
    const char* name;
    const char* field;
    void (*apply)(QWidget& d, const DialogFixture& f);
    const char* line;
    const char* focus;
    int tab;
};

const Breakage kBreakages[] = {
    {"no database", "db",
     [](QWidget& d, const DialogFixture&) {
         auto* list = find<QTreeWidget>(d, "ListV_DBName");
         for (int i = 0; i < list->topLevelItemCount(); ++i)
             list->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
     },
     "MESSAGE\t3014\tデータベース\t\t", "ListV_DBName", 0},
    {"local folder empty", "folder", [](QWidget& d, const DialogFixture&) { setText(d, "Txt_DBBackupFolder", "  "); },
     "MESSAGE\t3013\t出力先\t\t", "Txt_DBBackupFolder", 0},
    {"local folder on a RAM disk", "folder",
     [](QWidget& d, const DialogFixture&) { setText(d, "Txt_DBBackupFolder", "/dev/shm"); },
     "MESSAGE\t3005\t出力先のドライブ種類\t\t", "Txt_DBBackupFolder", 0},
    {"local folder missing", "folder",
     [](QWidget& d, const DialogFixture& f) { setText(d, "Txt_DBBackupFolder", f.path("backup") + "/gone"); },
     "MESSAGE\t3005\t出力先のフォルダ指定\t\t", "Txt_DBBackupFolder", 0},
    {"local term", "local", [](QWidget& d, const DialogFixture&) { setText(d, "Txt_LocalPreserveTerm", "0"); },
     "MSGBOX\texclamation\tスケジュールバックアップ\t保持期間が不正です。1～999の半角数値で入力して下さい。",
     "Txt_LocalPreserveTerm", 0},
    {"temporary-log term", "temp", [](QWidget& d, const DialogFixture&) { setText(d, "Txt_TempLogTerm", "89"); },
     "MSGBOX\texclamation\tスケジュールバックアップ\t一時退避期間は90～365の半角数値で入力して下さい。",
     "Txt_TempLogTerm", 0},
    {"full backup off", "all",
     [](QWidget& d, const DialogFixture&) { find<QCheckBox>(d, "Chk_DBBkType_All")->setChecked(false); },
     "MESSAGE\t3014\t全体バックアップ\t\t", "Chk_DBBkType_All", 0},
    {"full backup without days", "allDays",
     [](QWidget& d, const DialogFixture&) { untickAll(d, "Chk_DBBkScheAll_Day"); },
     "MESSAGE\t3014\t全体バックアップの曜日\t\t", "Chk_DBBkType_All", 0},
    {"differential without days", "diff",
     [](QWidget& d, const DialogFixture&) {
         find<QCheckBox>(d, "Chk_DBBkType_Diff")->setChecked(true);
         untickAll(d, "Chk_DBBkScheDiff_Day");
     },
     "MESSAGE\t3014\t差分バックアップの曜日\t\t", "Chk_DBBkType_Diff", 0},
    {"log without days", "log", [](QWidget& d, const DialogFixture&) { untickAll(d, "Chk_DBBkScheLog_Day"); },
     "MESSAGE\t3014\tログバックアップの曜日\t\t", "Chk_DBBkType_Log", 0},
    {"external term", "out", [](QWidget& d, const DialogFixture&) { setText(d, "Txt_OutSidePreserveTerm", "1000"); },
     "MSGBOX\texclamation\t不正画面\t保持期間が不正です。1～999の半角数値で入力して下さい。", "Txt_OutSidePreserveTerm",
     1},
    {"backup target empty", "dbTarget",
     [](QWidget& d, const DialogFixture&) { setText(d, "Txt_DBBkFileCopy_TargetFolder", ""); },
     "MESSAGE\t3013\tDBバックアップファイルのコピー先フォルダ\t\t", "Txt_DBBkFileCopy_TargetFolder", 1},
    {"backup target missing", "dbTarget",
     [](QWidget& d, const DialogFixture& f) { setText(d, "Txt_DBBkFileCopy_TargetFolder", f.path("ext") + "/gone"); },
     "MESSAGE\t3005\tDBバックアップファイルのコピー先フォルダ指定\t\t", "Txt_DBBkFileCopy_TargetFolder", 1},
    {"certificate target empty", "keyTarget",
     [](QWidget& d, const DialogFixture&) { setText(d, "Txt_KEYMANAGEFileCopy_TargetFolder", " "); },
     "MESSAGE\t3013\t証明書フォルダのコピー先フォルダ\t\t", "Txt_KEYMANAGEFileCopy_TargetFolder", 1},
    {"certificate target missing", "keyTarget",
     [](QWidget& d, const DialogFixture&) { setText(d, "Txt_KEYMANAGEFileCopy_TargetFolder", "/no/such/folder"); },
     "MESSAGE\t3005\t証明書フォルダのコピー先フォルダ指定\t\t", "Txt_KEYMANAGEFileCopy_TargetFolder", 1},
    {"documents target empty", "docTarget",
     [](QWidget& d, const DialogFixture&) { setText(d, "Txt_GIJYUTUFileCopy_TargetFolder", ""); },
     "MESSAGE\t3013\t技術資料フォルダのコピー先フォルダ\t\t", "Txt_GIJYUTUFileCopy_TargetFolder", 1},
    {"documents target is a file", "docTarget",
     [](QWidget& d, const DialogFixture& f) {
         setText(d, "Txt_GIJYUTUFileCopy_TargetFolder", f.path("product") + "/DEDoda.ini");
     },
     "MESSAGE\t3005\t技術資料フォルダのコピー先フォルダ指定\t\t", "Txt_GIJYUTUFileCopy_TargetFolder", 1},
};

} // namespace

class ChecksTest : public QObject {
    Q_OBJECT
private slots:
    void firstFailureWins_data();
    void firstFailureWins();
    void termFields_data();
    void termFields();
    void passingChecksKeepTheTab();
};

void ChecksTest::firstFailureWins_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < int(std::size(kBreakages)); ++i)
        QTest::newRow(kBreakages[i].name) << i;
}

// Row i is broken together with every later field that no earlier row of the run has broken, so
// each row also shows that its check runs before those of the later fields.
void ChecksTest::firstFailureWins() {
    QFETCH(int, row);
    const Breakage& expected = kBreakages[row];
    DialogFixture f;
    f.writeIni(f.validIni());
    const std::string before = f.ini();
    auto d = f.open();
    auto* tabs = find<QTabWidget>(*d, "Tab_Select");
    tabs->setCurrentIndex(1 - expected.tab);
    std::vector<std::string> broken;
    for (int i = row; i < int(std::size(kBreakages)); ++i) {
        if (std::find(broken.begin(), broken.end(), kBreakages[i].field) != broken.end())
            continue;
        broken.push_back(kBreakages[i].field);
        kBreakages[i].apply(*d, f);
    }
    bool drawingWhileTold = true;
    f.ui.onLine = [&] { drawingWhileTold = d->updatesEnabled(); };

    QTest::mouseClick(find<QPushButton>(*d, "Cmd_OK"), Qt::LeftButton);
    QCOMPARE(f.ui.lines, std::vector<std::string>{expected.line});
    QCOMPARE(tabs->currentIndex(), expected.tab);
    QCOMPARE(d->focusWidget()->objectName(), QLatin1String(expected.focus));
    QVERIFY(!drawingWhileTold);
    QVERIFY(d->updatesEnabled());
    QVERIFY(d->isVisible());
    QCOMPARE(f.ini(), before);
}

void ChecksTest::termFields_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("full-width digits") << "Txt_LocalPreserveTerm" << u("０３０") << true << "30";
    QTest::newRow("letters") << "Txt_LocalPreserveTerm"
                             << "abc" << false << "abc";
    QTest::newRow("negative") << "Txt_LocalPreserveTerm"
                              << "-5" << false << "-5";
    QTest::newRow("four digits") << "Txt_OutSidePreserveTerm"
                                 << "1000" << false << "1000";
    QTest::newRow("empty") << "Txt_OutSidePreserveTerm"
                           << "" << false << "0";
    QTest::newRow("temp below 90") << "Txt_TempLogTerm"
                                   << "30" << false << "90";
    QTest::newRow("temp above 365") << "Txt_TempLogTerm"
                                    << "400" << false << "365";
    QTest::newRow("temp not a term") << "Txt_TempLogTerm"
                                     << "1000" << false << "90";
    QTest::newRow("temp upper bound") << "Txt_TempLogTerm"
                                      << "365" << true << "365";
    QTest::newRow("temp full-width") << "Txt_TempLogTerm" << u("９０") << true << "90";
}

void ChecksTest::termFields() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(bool, passes);
    QFETCH(QString, shown);
    DialogFixture f;
    f.writeIni(f.validIni());
    auto d = f.open();
    auto* edit = find<QLineEdit>(*d, field.toLatin1());
    edit->setText(typed);
    QCOMPARE(d->fnCheckInput(), passes);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(f.ui.lines.size(), passes ? 0u : 1u);
}

void ChecksTest::passingChecksKeepTheTab() {
    DialogFixture f;
    f.writeIni(f.validIni());
    auto d = f.open();
    auto* tabs = find<QTabWidget>(*d, "Tab_Select");
    for (int tab : {0, 1}) {
        tabs->setCurrentIndex(tab);
        QVERIFY(d->fnCheckInput());
        QCOMPARE(tabs->currentIndex(), tab);
    }
    // A folder on a RAM disk is refused for the local backups only.
    for (const char* target :
         {"Txt_DBBkFileCopy_TargetFolder", "Txt_KEYMANAGEFileCopy_TargetFolder", "Txt_GIJYUTUFileCopy_TargetFolder"})
        setText(*d, target, "/dev/shm");
    QVERIFY(d->fnCheckInput());
    QVERIFY(f.ui.lines.empty());
}

QTEST_MAIN(ChecksTest)
#include "checks_test.moc"
