// Opening the dialog on settings files, and what OK and Cancel leave in them.

#include "dialog_fixture.h"
#include "qtest_main.h"
#include "settings_dialog/dialog_controls.h"
#include "settings_dialog/form_values.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTreeWidget>

#include <optional>

using namespace dialogtest;
using settings_dialog::WeekDays;

namespace {

// Whether a kind's days and picker are enabled; nothing when they disagree.
std::optional<bool> kindEnabled(const QWidget& d, const char* kind) {
    const bool day = find<QCheckBox>(d, QStringLiteral("Chk_DBBkSche%1_Day(3)").arg(kind).toLatin1())->isEnabled();
    const bool time = find<QTimeEdit>(d, QStringLiteral("DTP_DBBkSche%1_Time").arg(kind).toLatin1())->isEnabled();
    return day == time ? std::optional(day) : std::nullopt;
}

std::vector<bool> ticks(const settings_dialog::FormValues& v) {
    std::vector<bool> out;
    for (const auto& item : v.databases)
        out.push_back(item.ticked);
    return out;
}

// A settings file with [Schedule] `schedule` and [FILE_COPY] `copy`, and what `field` then shows.
struct Fallback {
    const char* name;
    const char* schedule;
    const char* copy;
    const char* field;
    const char* shown;
};

const Fallback kFallbacks[] = {
    {"local term 0", "Db=X\r\nLocalPreserveTerm=0\r\n", "EXECUTE=0\r\n", "Txt_LocalPreserveTerm", "30"},
    {"local term 1000", "Db=X\r\nLocalPreserveTerm=1000\r\n", "EXECUTE=0\r\n", "Txt_LocalPreserveTerm", "30"},
    {"local term leading number", "Db=X\r\nLocalPreserveTerm=12abc\r\n", "EXECUTE=0\r\n", "Txt_LocalPreserveTerm",
     "12abc"},
    {"external term 1000", "Db=X\r\n", "OutSidePreserveTerm=1000\r\n", "Txt_OutSidePreserveTerm", "60"},
    {"temp term from the product", "Db=X\r\n", "EXECUTE=0\r\n", "Txt_TempLogTerm", "120"},
    {"temp term out of range", "TEMPLOGTERM=40000\r\n", "EXECUTE=0\r\n", "Txt_TempLogTerm", "120"},
    {"temp term own", "TEMPLOGTERM= 32767 \r\n", "EXECUTE=0\r\n", "Txt_TempLogTerm", "32767"},
};

} // namespace

class LoadSaveTest : public QObject {
    Q_OBJECT
private slots:
    void loadsSettingsAndEnablesByTheCheckBoxes();
    void loadFallbacks_data();
    void loadFallbacks();
    void unreachableServerShowsTheSettingsFile();
    void okWritesExactlyTheSettingsKeys();
    void copySwitchedOffWritesOnlyExecute();
    void cancelWritesNothing();
    void unwritableSettingsKeepTheDialogOpen();
    void failedReloadIsReported();
};

void LoadSaveTest::loadsSettingsAndEnablesByTheCheckBoxes() {
    DialogFixture f;
    auto d = f.openValid();
    QVERIFY(d->loaded());
    const auto v = d->values(); // what the controls show
    QCOMPARE(ticks(v), (std::vector<bool>{true, true, false}));
    QCOMPARE(find<QTreeWidget>(*d, "ListV_DBName")->headerItem()->text(0), "DBName");
    QVERIFY((v.all.days == WeekDays{true, false, false, false, false, false, true})); // Day 65
    QCOMPARE(v.all.time, "02:30");
    QVERIFY(kindEnabled(*d, "All") == true);
    // "NON": the kind is off, its days and time keep the defaults and are disabled.
    QVERIFY(!v.diff.enabled);
    QVERIFY((v.diff.days == WeekDays{false, true, true, true, true, false, false}));
    QCOMPARE(v.diff.time, "09:00");
    QVERIFY(kindEnabled(*d, "Diff") == false);
    QVERIFY((v.log.days == WeekDays{false, false, false, false, true, false, false}));
    QCOMPARE(v.tempLogTerm, "100");
    QCOMPARE(v.keySource, f.path("product") + "/KEYMANAGE");
    QCOMPARE(v.gijyutuSource, f.path("docs"));

    // The kinds' and the copy box's groups follow their boxes; the copy tab mirrors the local folder.
    click(*d, "Chk_DBBkType_Diff");
    QVERIFY(kindEnabled(*d, "Diff") == true);
    QVERIFY(find<QPushButton>(*d, "Cmd_GIJYUTUFileCopy_TargetFolder")->isEnabled());
    click(*d, "Chk_FileCopy");
    for (const char* name : {"Txt_OutSidePreserveTerm", "Label2", "Frame8", "Cmd_GIJYUTUFileCopy_TargetFolder"})
        QVERIFY2(!find<QWidget>(*d, name)->isEnabled(), name);
    QVERIFY(find<QWidget>(*d, "Frame6")->isEnabled());
    find<QLineEdit>(*d, "Txt_DBBackupFolder")->setText("/srv/elsewhere");
    QCOMPARE(text(*d, "Txt_DBBkFileCopy_SourceFolder"), "/srv/elsewhere");
    QVERIFY(f.ui.lines.empty());
}

void LoadSaveTest::loadFallbacks_data() {
    addRows(kFallbacks);
}

void LoadSaveTest::loadFallbacks() {
    QFETCH(int, row);
    const Fallback& r = kFallbacks[row];
    DialogFixture f;
    f.writeIni(f.validIni(r.schedule, r.copy));
    auto d = f.open();
    QCOMPARE(text(*d, r.field), r.shown);
}

void LoadSaveTest::unreachableServerShowsTheSettingsFile() {
    DialogFixture f;
    f.writeIni(f.validIni({}, "DBBACKUPFILE_DIR=/mnt/nas\r\n")); // EXECUTE missing
    const std::string before = f.ini();
    f.serverReachable = false;
    f.session.serverDatabases = f.server; // from an earlier tick: not what this server answered now
    auto d = f.open();
    QVERIFY(!d->loaded());
    QCOMPARE(text(*d, "Txt_DBBackupFolder"), QString::fromStdString(f.path("backup")));
    QCOMPARE(text(*d, "Txt_DBBkFileCopy_TargetFolder"), "/mnt/nas");
    QCOMPARE(text(*d, "Txt_GIJYUTUFileCopy_SourceFolder"), QString::fromStdString(f.path("docs")));
    QCOMPARE(text(*d, "Txt_KEYMANAGEFileCopy_TargetFolder"), "");
    QCOMPARE(find<QTreeWidget>(*d, "ListV_DBName")->topLevelItemCount(), 0);

    // Without any settings file, the folders are empty; nothing shows a path of another system.
    std::filesystem::remove(f.dir / "MSDE_DBTOOL.INI");
    std::filesystem::remove(f.dir / "ZUZOR.INI");
    d = f.open();
    for (const QLineEdit* edit : d->findChildren<QLineEdit*>())
        if (edit->objectName().endsWith("Folder"))
            QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName() + ": " + edit->text()));
    QVERIFY(!std::filesystem::exists(f.dir / "MSDE_DBTOOL.INI"));
    f.writeIni(before);

    // Reachable again: a missing EXECUTE means copying is on, and loading repairs nothing on disk.
    f.serverReachable = true;
    f.server = {"SABRELUND"}; // SALES is gone: no database stays ticked
    d = f.open();
    QVERIFY(find<QCheckBox>(*d, "Chk_FileCopy")->isChecked());
    QVERIFY(find<QWidget>(*d, "Txt_DBBkFileCopy_TargetFolder")->isEnabled());
    QCOMPARE(text(*d, "Txt_DBBkFileCopy_TargetFolder"), "/mnt/nas");
    QCOMPARE(ticks(d->values()), (std::vector<bool>{false}));
    QCOMPARE(f.ini(), before);
}

void LoadSaveTest::okWritesExactlyTheSettingsKeys() {
    DialogFixture f;
    std::string ini = f.validIni();
    ini.replace(ini.find("Time=02:30"), 10, "Time=23:15");
    f.writeIni(ini);
    auto d = f.open();
    find<QTimeEdit>(*d, "DTP_DBBkScheAll_Time")->setTime(QTime(2, 30));
    QTreeWidget* list = find<QTreeWidget>(*d, "ListV_DBName");
    list->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    list->topLevelItem(2)->setCheckState(0, Qt::Checked);
    click(*d, "Chk_DBBkScheAll_Day(6)"); // Sunday off
    click(*d, "Chk_DBBkScheAll_Day(2)"); // Wednesday on
    find<QLineEdit>(*d, "Txt_DBBackupFolder")->setText(QString::fromStdString(" " + f.path("backup") + "  "));
    find<QLineEdit>(*d, "Txt_LocalPreserveTerm")->setText(u("０１４"));
    click(*d, "Chk_DBBkType_Log"); // log off
    find<QLineEdit>(*d, "Txt_KEYMANAGEFileCopy_TargetFolder")->setText(QString::fromStdString(f.path("product") + " "));
    click(*d, "Cmd_OK");

    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(f.ui.lines, std::vector<std::string>{});
    const std::string ext = f.path("ext");
    const std::string expected =
        "; settings of the scheduled backup\r\n[Schedule]\r\nDb=SALES\tTEST\r\nPath= " + f.path("backup") +
        "\r\nLocalPreserveTerm=14\r\nTEMPLOGTERM=100\r\nIniflg=1\r\n[ScheduleAll]\r\nDay=5\r\nTime=02:30\r\n"
        "[ScheduleDiff]\r\nDay=NON\r\nTime=NON\r\n[ScheduleLOG]\r\nDay=NON\r\nTime=NON\r\n[FILE_COPY]\r\n"
        "EXECUTE=1\r\nDBBACKUPFILE_DIR=" +
        ext + "\r\nKEYFILE_DIR=" + f.path("product") + "\r\nGIJYUTUFILE_DIR=" + ext +
        "\r\nOutSidePreserveTerm=60\r\n[(local)]\r\nUSER_NAME=sa\r\n";
    QCOMPARE(f.ini(), expected);
    QVERIFY(f.zuzor().find("MAILSRLOGTERM=100\r\n") != std::string::npos);
    // The program runs on what was saved.
    QVERIFY(d->reloaded() && d->reloaded()->ok);
    QCOMPARE(d->reloaded()->settings.schedule(core::BackupKind::Full).dayText, "5");
    QCOMPARE(d->reloaded()->settings.databases, (std::vector<std::string>{"SALES", "TEST"}));
}

void LoadSaveTest::copySwitchedOffWritesOnlyExecute() {
    DialogFixture f;
    f.writeIni(f.validIni());
    std::string expected = f.ini();
    expected.replace(expected.find("EXECUTE=1"), 9, "EXECUTE=0");
    auto d = f.open();
    find<QLineEdit>(*d, "Txt_DBBkFileCopy_TargetFolder")->clear();
    find<QLineEdit>(*d, "Txt_OutSidePreserveTerm")->setText("abc");
    click(*d, "Chk_FileCopy");
    click(*d, "Cmd_OK");
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(f.ini(), expected);
}

void LoadSaveTest::cancelWritesNothing() {
    DialogFixture f;
    f.writeIni(f.validIni({}, "EXECUTE=7\r\n"));
    const std::string ini = f.ini(), zuzor = f.zuzor();
    auto d = f.open();
    find<QLineEdit>(*d, "Txt_TempLogTerm")->setText("200");
    click(*d, "Chk_DBBkType_Diff");
    click(*d, "Cmd_Cancel");
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QVERIFY(!d->isVisible());
    QCOMPARE(f.ini(), ini);
    QCOMPARE(f.zuzor(), zuzor);
    QVERIFY(f.ui.lines.empty());
}

void LoadSaveTest::unwritableSettingsKeepTheDialogOpen() {
    DialogFixture f;
    f.writeIni(f.validIni());
    const std::string before = f.ini();
    const auto file = f.dir / "MSDE_DBTOOL.INI";
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    auto d = f.open();
    setText(*d, "Txt_LocalPreserveTerm", "45");
    click(*d, "Cmd_OK");
    // One message, on the first key: the ticked databases, TAB-separated.
    QCOMPARE(f.ui.lines.size(), 1u);
    QVERIFY(f.ui.lines[0].starts_with("MESSAGE\t3024\t\"SABRELUND\\tSALES\"\t\tVBFILE_WriteINI"));
    QVERIFY(d->isVisible());
    QCOMPARE(text(*d, "Txt_LocalPreserveTerm"), "45");
    QCOMPARE(f.ini(), before);

    // Writable again, the same OK saves and closes.
    std::filesystem::permissions(file, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    click(*d, "Cmd_OK");
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QVERIFY(f.ini().find("LocalPreserveTerm=45\r\n") != std::string::npos);
    QCOMPARE(f.ui.lines.size(), 1u);
}

void LoadSaveTest::failedReloadIsReported() {
    // The program's list has lost the selected databases since the dialog opened.
    DialogFixture f;
    auto d = f.openValid();
    f.session.serverDatabases = {"TEST"};
    click(*d, "Cmd_OK");
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QCOMPARE(f.ui.lines.size(), 1u);
    QVERIFY(f.ui.lines[0].starts_with("MESSAGE\t3001\tINIファイルのロード\t\t"));
}

ENCRT_QTEST_MAIN(LoadSaveTest)
#include "load_save_test.moc"
