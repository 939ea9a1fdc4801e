// Opening the dialog on settings files, and what OK and Cancel leave in them.

#include "dialog_fixture.h"
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

WeekDays days(const QWidget& d, const char* kind) {
    WeekDays out{};
    for (int i = 0; i < 7; ++i)
        out[i] = find<QCheckBox>(d, QStringLiteral("Chk_DBBkSche%1_Day(%2)").arg(kind).arg(i).toLatin1())->isChecked();
    return out;
}

// Whether a kind's days and picker are enabled; nothing when they disagree.
std::optional<bool> kindEnabled(const QWidget& d, const char* kind) {
    const bool day = find<QCheckBox>(d, QStringLiteral("Chk_DBBkSche%1_Day(3)").arg(kind).toLatin1())->isEnabled();
    const bool time = find<QTimeEdit>(d, QStringLiteral("DTP_DBBkSche%1_Time").arg(kind).toLatin1())->isEnabled();
    return day == time ? std::optional(day) : std::nullopt;
}

QString timeOf(const QWidget& d, const char* kind) {
    return find<QTimeEdit>(d, QStringLiteral("DTP_DBBkSche%1_Time").arg(kind).toLatin1())->text();
}

QStringList ticked(const QWidget& d) {
    QStringList names;
    auto* list = find<QTreeWidget>(d, "ListV_DBName");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->checkState(0) == Qt::Checked)
            names << list->topLevelItem(i)->text(0);
    return names;
}

QString text(const QWidget& d, const char* name) {
    return find<QLineEdit>(d, name)->text();
}

void click(const QWidget& d, const char* name) {
    QTest::mouseClick(find<QAbstractButton>(d, name), Qt::LeftButton);
}

} // namespace

class LoadSaveTest : public QObject {
    Q_OBJECT
private slots:
    void loadsSettingsAndEnablesByTheCheckBoxes();
    void loadFallbacks_data();
    void loadFallbacks();
    void unreachableServerKeepsDesignTexts();
    void okWritesExactlyTheSettingsKeys();
    void copySwitchedOffWritesOnlyExecute();
    void cancelWritesNothing();
    void failedReloadIsReported();
};

void LoadSaveTest::loadsSettingsAndEnablesByTheCheckBoxes() {
    DialogFixture f;
    f.writeIni(f.validIni());
    auto d = f.open();
    QVERIFY(d->loaded());
    QCOMPARE(ticked(*d), QStringList({"SABRELUND", "SALES"}));
    QCOMPARE(find<QTreeWidget>(*d, "ListV_DBName")->headerItem()->text(0), "DBName");
    // Day 65 is Monday and Sunday.
    QVERIFY((days(*d, "All") == WeekDays{true, false, false, false, false, false, true}));
    QCOMPARE(timeOf(*d, "All"), "02:30");
    QVERIFY(kindEnabled(*d, "All") == true);
    // "NON": the kind is off, its days and time keep the defaults and are disabled.
    QVERIFY(!find<QCheckBox>(*d, "Chk_DBBkType_Diff")->isChecked());
    QVERIFY((days(*d, "Diff") == WeekDays{false, true, true, true, true, false, false}));
    QCOMPARE(timeOf(*d, "Diff"), "09:00");
    QVERIFY(kindEnabled(*d, "Diff") == false);
    QVERIFY((days(*d, "Log") == WeekDays{false, false, false, false, true, false, false}));
    QCOMPARE(text(*d, "Txt_TempLogTerm"), "100");
    QCOMPARE(text(*d, "Txt_KEYMANAGEFileCopy_SourceFolder"), QString::fromStdString(f.path("product") + "/KEYMANAGE"));
    QCOMPARE(text(*d, "Txt_GIJYUTUFileCopy_SourceFolder"), QString::fromStdString(f.path("docs")));

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
    QTest::addColumn<QString>("schedule");
    QTest::addColumn<QString>("copy");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("shown");
    const QString base = "Db=SABRELUND\r\nPath=/x\r\n";
    QTest::newRow("local term 0") << base + "LocalPreserveTerm=0\r\n"
                                  << ""
                                  << "Txt_LocalPreserveTerm"
                                  << "30";
    QTest::newRow("local term 1000") << base + "LocalPreserveTerm=1000\r\n"
                                     << ""
                                     << "Txt_LocalPreserveTerm"
                                     << "30";
    QTest::newRow("local term leading number") << base + "LocalPreserveTerm=12abc\r\n"
                                               << ""
                                               << "Txt_LocalPreserveTerm"
                                               << "12abc";
    QTest::newRow("external term 1000") << base << "OutSidePreserveTerm=1000\r\n"
                                        << "Txt_OutSidePreserveTerm"
                                        << "60";
    QTest::newRow("temp term from the product") << base << ""
                                                << "Txt_TempLogTerm"
                                                << "120";
    QTest::newRow("temp term out of range") << base + "TEMPLOGTERM=40000\r\n"
                                            << ""
                                            << "Txt_TempLogTerm"
                                            << "120";
    QTest::newRow("temp term own") << base + "TEMPLOGTERM= 32767 \r\n"
                                   << ""
                                   << "Txt_TempLogTerm"
                                   << "32767";
}

void LoadSaveTest::loadFallbacks() {
    QFETCH(QString, schedule);
    QFETCH(QString, copy);
    QFETCH(QString, field);
    QFETCH(QString, shown);
    DialogFixture f;
    f.writeIni(f.validIni(schedule.toStdString(), copy.isEmpty() ? "EXECUTE=0\r\n" : copy.toStdString()));
    auto d = f.open();
    QCOMPARE(text(*d, field.toLatin1()), shown);
}

void LoadSaveTest::unreachableServerKeepsDesignTexts() {
    DialogFixture f;
    f.writeIni(f.validIni({}, "DBBACKUPFILE_DIR=/mnt/nas\r\n")); // EXECUTE missing
    const std::string before = f.ini();
    f.serverReachable = false;
    auto d = f.open();
    QVERIFY(!d->loaded());
    QCOMPARE(text(*d, "Txt_DBBackupFolder"), u("C:\\Program Files\\DBバックアップ"));
    QCOMPARE(text(*d, "Txt_GIJYUTUFileCopy_SourceFolder"), u("C:\\Program Files\\Sabre Lund\\技術資料"));
    QCOMPARE(find<QTreeWidget>(*d, "ListV_DBName")->topLevelItemCount(), 0);

    // Reachable again: a missing EXECUTE means copying is on, and loading repairs nothing on disk.
    f.serverReachable = true;
    f.server = {"SABRELUND"}; // SALES is gone: no database stays ticked
    d = f.open();
    QVERIFY(find<QCheckBox>(*d, "Chk_FileCopy")->isChecked());
    QVERIFY(find<QWidget>(*d, "Txt_DBBkFileCopy_TargetFolder")->isEnabled());
    QCOMPARE(text(*d, "Txt_DBBkFileCopy_TargetFolder"), "/mnt/nas");
    QVERIFY(ticked(*d).isEmpty());
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
    QCOMPARE(f.ctx.settings.allDay, "5");
    QCOMPARE(f.ctx.settings.databases, (std::vector<std::string>{"SALES", "TEST"}));
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

void LoadSaveTest::failedReloadIsReported() {
    // A settings file that cannot be written keeps its bad full-backup day, so the reload fails.
    DialogFixture f;
    std::string bad = f.validIni();
    bad.replace(bad.find("Day=65"), 6, "Day=0");
    f.writeIni(bad);
    std::filesystem::permissions(f.dir / "MSDE_DBTOOL.INI", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    auto d = f.open();
    click(*d, "Chk_DBBkType_All"); // on Monday, the default
    click(*d, "Cmd_OK");
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QVERIFY(f.ui.lines.size() > 1);
    QCOMPARE(f.ui.lines.front().substr(0, 13), "MESSAGE\t3024\t");
    QCOMPARE(f.ui.lines.back(), "MESSAGE\t3001\tINIファイルのロード\t\t");
}

QTEST_MAIN(LoadSaveTest)
#include "load_save_test.moc"
