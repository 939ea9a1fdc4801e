// What OK finds wrong, in which order, and where it leaves the user.

#include "dialog_fixture.h"
#include "qtest_main.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

using namespace dialogtest;

namespace {

// One way of breaking a control, and what OK must then say; the control gets the focus. Rows are
// in the order of the checks. A text control is set to `value` ("$x" is the fixture's folder x);
// a kind's box is switched "off", or on with "no days"; the list loses all its ticks and, when a
// value is given, has the item of that name ticked.
struct Breakage {
    const char* name;
    const char* control;
    std::string value;
    std::string line;
    int tab;
};

// Stored in code page 932 as the code of ～ (U+FF5E), so read back as another name. The checks
// meet it as an existing folder and as a database on the server.
constexpr const char* kChangedName = "バックアップ〜日次";
// Whatever the temporary folder, its path with this name is over the 127 bytes a settings value
// is read back with.
const std::string kLongName(127, 'L');

#define TERM_BOX "保持期間が不正です。1～999の半角数値で入力して下さい。"

const Breakage kBreakages[] = {
    {"no database", "ListV_DBName", "", "MESSAGE\t3014\tデータベース\t\t", 0},
    {"database name the code page changes", "ListV_DBName", kChangedName,
     "MESSAGE\t3005\tデータベース名「" + std::string(kChangedName) + "」\t\t", 0},
    {"local folder empty", "Txt_DBBackupFolder", "  ", "MESSAGE\t3013\t出力先\t\t", 0},
    {"local folder on a RAM disk", "Txt_DBBackupFolder", "/dev/shm", "MESSAGE\t3005\t出力先のドライブ種類\t\t", 0},
    {"local folder missing", "Txt_DBBackupFolder", "$backup/gone", "MESSAGE\t3005\t出力先のフォルダ指定\t\t", 0},
    {"local folder is a file", "Txt_DBBackupFolder", "$product/DEDoda.ini", "MESSAGE\t3005\t出力先のフォルダ指定\t\t",
     0},
    {"local folder the code page changes", "Txt_DBBackupFolder", "$backup/" + std::string(kChangedName),
     "MESSAGE\t3005\t出力先のフォルダ指定\t\t", 0},
    {"local folder longer than a settings value", "Txt_DBBackupFolder", "$backup/" + std::string(kLongName),
     "MESSAGE\t3005\t出力先のフォルダ指定\t\t", 0},
    {"local term", "Txt_LocalPreserveTerm", "0", "MSGBOX\texclamation\tスケジュールバックアップ\t" TERM_BOX, 0},
    {"temporary-log term", "Txt_TempLogTerm", "89",
     "MSGBOX\texclamation\tスケジュールバックアップ\t一時退避期間は90～365の半角数値で入力して下さい。", 0},
    {"full backup off", "Chk_DBBkType_All", "off", "MESSAGE\t3014\t全体バックアップ\t\t", 0},
    {"full backup without days", "Chk_DBBkType_All", "no days", "MESSAGE\t3014\t全体バックアップの曜日\t\t", 0},
    {"differential without days", "Chk_DBBkType_Diff", "no days", "MESSAGE\t3014\t差分バックアップの曜日\t\t", 0},
    {"log without days", "Chk_DBBkType_Log", "no days", "MESSAGE\t3014\tログバックアップの曜日\t\t", 0},
    {"external term", "Txt_OutSidePreserveTerm", "1000", "MSGBOX\texclamation\t不正画面\t" TERM_BOX, 1},
    {"backup target empty", "Txt_DBBkFileCopy_TargetFolder", "",
     "MESSAGE\t3013\tDBバックアップファイルのコピー先フォルダ\t\t", 1},
    {"backup target missing", "Txt_DBBkFileCopy_TargetFolder", "$ext/gone",
     "MESSAGE\t3005\tDBバックアップファイルのコピー先フォルダ指定\t\t", 1},
    {"certificate target empty", "Txt_KEYMANAGEFileCopy_TargetFolder", " ",
     "MESSAGE\t3013\t証明書フォルダのコピー先フォルダ\t\t", 1},
    {"certificate target missing", "Txt_KEYMANAGEFileCopy_TargetFolder", "/no/such/folder",
     "MESSAGE\t3005\t証明書フォルダのコピー先フォルダ指定\t\t", 1},
    {"documents target empty", "Txt_GIJYUTUFileCopy_TargetFolder", "",
     "MESSAGE\t3013\t技術資料フォルダのコピー先フォルダ\t\t", 1},
    {"documents target the code page changes", "Txt_GIJYUTUFileCopy_TargetFolder", "$ext/" + std::string(kChangedName),
     "MESSAGE\t3005\t技術資料フォルダのコピー先フォルダ指定\t\t", 1},
    {"documents target is a file", "Txt_GIJYUTUFileCopy_TargetFolder", "$product/DEDoda.ini",
     "MESSAGE\t3005\t技術資料フォルダのコピー先フォルダ指定\t\t", 1},
};

// "$ext/gone" is the fixture's folder "ext" followed by "/gone".
QString expand(const DialogFixture& f, const std::string& value) {
    if (!value.starts_with('$'))
        return QString::fromStdString(value);
    const auto slash = value.find('/');
    return QString::fromStdString(f.path(value.substr(1, slash - 1).c_str()) + value.substr(slash));
}

void apply(QWidget& d, const DialogFixture& f, const Breakage& b) {
    const std::string value = b.value;
    if (auto* edit = d.findChild<QLineEdit*>(b.control)) {
        edit->setText(expand(f, value));
    } else if (auto* box = d.findChild<QCheckBox*>(b.control)) {
        box->setChecked(value != "off");
        const QString days = QString(b.control).replace("Chk_DBBkType_", "Chk_DBBkSche") + "_Day(%1)";
        for (int i = 0; i < 7 && value == "no days"; ++i)
            find<QCheckBox>(d, days.arg(i).toLatin1())->setChecked(false);
    } else {
        auto* list = find<QTreeWidget>(d, b.control);
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list->topLevelItem(i);
            item->setCheckState(0, item->text(0).toStdString() == value ? Qt::Checked : Qt::Unchecked);
        }
    }
}

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
    addRows(kBreakages);
}

// Row i is broken together with every later control that no earlier row of the run has broken,
// so each row also shows that its check runs before those of the later controls.
void ChecksTest::firstFailureWins() {
    QFETCH(int, row);
    const Breakage& expected = kBreakages[row];
    DialogFixture f;
    f.writeIni(f.validIni());
    const std::string before = f.ini();
    for (const char* parent : {"backup", "ext"})
        std::filesystem::create_directory(f.dir / parent / kChangedName);
    std::filesystem::create_directory(f.dir / "backup" / kLongName);
    f.server.push_back(kChangedName);
    auto d = f.open();
    auto* tabs = find<QTabWidget>(*d, "Tab_Select");
    tabs->setCurrentIndex(1 - expected.tab);
    std::vector<std::string> broken;
    for (int i = row; i < int(std::size(kBreakages)); ++i) {
        if (std::find(broken.begin(), broken.end(), std::string(kBreakages[i].control)) != broken.end())
            continue;
        broken.push_back(kBreakages[i].control);
        apply(*d, f, kBreakages[i]);
    }
    // While the message is up, the dialog draws, and draws the tab of the failing field.
    bool drawingWhileTold = false;
    int tabWhileTold = -1;
    f.ui.onLine = [&] {
        drawingWhileTold = d->updatesEnabled() && tabs->currentWidget()->updatesEnabled();
        tabWhileTold = tabs->currentIndex();
    };

    QTest::mouseClick(find<QPushButton>(*d, "Cmd_OK"), Qt::LeftButton);
    QCOMPARE(f.ui.lines, std::vector<std::string>{expected.line});
    QCOMPARE(tabs->currentIndex(), expected.tab);
    QCOMPARE(d->focusWidget()->objectName(), QString::fromStdString(expected.control));
    QVERIFY(drawingWhileTold);
    QCOMPARE(tabWhileTold, expected.tab);
    QVERIFY(d->updatesEnabled());
    QVERIFY(d->isVisible());
    QCOMPARE(f.ini(), before);
}

// A term typed into a field: whether the checks pass and what the field shows afterwards.
struct TermCase {
    const char* name;
    const char* field;
    const char* typed;
    bool passes;
    const char* shown;
};

const TermCase kTermCases[] = {
    {"full-width digits", "Txt_LocalPreserveTerm", "０３０", true, "30"},
    {"letters", "Txt_LocalPreserveTerm", "abc", false, "abc"},
    {"negative", "Txt_LocalPreserveTerm", "-5", false, "-5"},
    {"four digits", "Txt_OutSidePreserveTerm", "1000", false, "1000"},
    {"group separator", "Txt_OutSidePreserveTerm", "1,000", false, "1000"},
    {"empty", "Txt_OutSidePreserveTerm", "", false, "0"},
    {"temp below 90", "Txt_TempLogTerm", "30", false, "90"},
    {"temp above 365", "Txt_TempLogTerm", "400", false, "365"},
    {"temp not a term", "Txt_TempLogTerm", "1000", false, "90"},
    {"temp upper bound", "Txt_TempLogTerm", "365", true, "365"},
    {"temp full-width", "Txt_TempLogTerm", "９０", true, "90"},
};

void ChecksTest::termFields_data() {
    addRows(kTermCases);
}

void ChecksTest::termFields() {
    QFETCH(int, row);
    const TermCase& c = kTermCases[row];
    DialogFixture f;
    auto d = f.openValid();
    setText(*d, c.field, u(c.typed));
    QCOMPARE(d->fnCheckInput(), c.passes);
    QCOMPARE(text(*d, c.field), u(c.shown));
    QCOMPARE(f.ui.lines.size(), c.passes ? 0u : 1u);
}

void ChecksTest::passingChecksKeepTheTab() {
    DialogFixture f;
    auto d = f.openValid();
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

ENCRT_QTEST_MAIN(ChecksTest)
#include "checks_test.moc"
