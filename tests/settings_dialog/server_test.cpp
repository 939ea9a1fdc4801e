// The dialog against the stand-in server, through the FreeTDS ODBC driver: the list it shows is
// the server's, and closing it gives the connection back.

#include "common/password.h"
#include "platform/local_filesystem.h"
#include "qtest_main.h"
#include "settings_dialog/config_dialog.h"
#include "support/product_server.h"

#include <QPushButton>

using settings_dialog::Frm_EnCrt_ScheduleBackup_Config;

namespace {

// The login of the stand-in (or a wrong password) and a selection of SALES.
void writeSettings(testsupport::ProductServer& p, const std::string& password) {
    const auto key = common::passwordKeyPath(p.dir.path());
    if (common::ensurePasswordKey(key))
        qFatal("no password key");
    testsupport::writeFile(p.dir / "MSDE_DBTOOL.INI", "[(local)]\r\nUSER_NAME=" + p.server.user() +
                                                          "\r\nPASSWORD=" + *common::encipherPassword(key, password) +
                                                          "\r\n[Schedule]\r\nDb=SALES\r\n");
}

} // namespace

class ServerTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheServersDatabasesAndReleasesTheConnection();
    void listsTheDatabasesOfAServerThatForcesEncryption();
    void aFailedLoginIsReportedAndLeavesTheDesignTexts();
};

void ServerTest::showsTheServersDatabasesAndReleasesTheConnection() {
    testsupport::ProductServer p;
    p.server.createDatabase("SALES");
    p.server.createDatabase("ARCHIVE");
    writeSettings(p, p.server.password());
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(p.clock, p.ui, files, p.dir.path());
    core::DbSession session;
    Frm_EnCrt_ScheduleBackup_Config dialog(ctx, session);
    dialog.show();

    QVERIFY(dialog.loaded());
    QVERIFY(p.ui.lines.empty());
    std::vector<std::string> shown, ticked;
    for (const auto& item : dialog.values().databases) {
        shown.push_back(item.name);
        if (item.ticked)
            ticked.push_back(item.name);
    }
    QCOMPARE(shown, (std::vector<std::string>{"ARCHIVE", "PRODUCT", "SALES"}));
    QCOMPARE(ticked, std::vector<std::string>{"SALES"});
    QVERIFY(session.database);
    QTest::mouseClick(dialog.findChild<QPushButton*>("Cmd_Cancel"), Qt::LeftButton);
    QVERIFY(!session.database);
}

// A server that encrypts every connection and refuses clients that cannot (SQL Server 2022 with
// "Force Encryption"): the dialog's connection logs in through FreeTDS all the same.
void ServerTest::listsTheDatabasesOfAServerThatForcesEncryption() {
    testsupport::ProductServer p({.extraArguments = {"--encrypt", "required"}});
    p.server.createDatabase("SALES");
    writeSettings(p, p.server.password());
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(p.clock, p.ui, files, p.dir.path());
    core::DbSession session;
    Frm_EnCrt_ScheduleBackup_Config dialog(ctx, session);
    QVERIFY(dialog.loaded());
    QVERIFY(p.ui.lines.empty());
    std::vector<std::string> shown;
    for (const auto& item : dialog.values().databases)
        shown.push_back(item.name);
    QCOMPARE(shown, (std::vector<std::string>{"PRODUCT", "SALES"}));
}

void ServerTest::aFailedLoginIsReportedAndLeavesTheDesignTexts() {
    testsupport::ProductServer p;
    writeSettings(p, "not-the-password");
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(p.clock, p.ui, files, p.dir.path());
    core::DbSession session;
    Frm_EnCrt_ScheduleBackup_Config dialog(ctx, session);
    QVERIFY(!dialog.loaded());
    QCOMPARE(p.ui.lines, std::vector<std::string>{
                             "MSGBOX\tcritical\tスケジュールバックアップ\tDBオブジェクトの取得に失敗しました。"});
    QVERIFY(dialog.values().databases.empty());

    // A missing login is told once, by the lookup, before any connection is tried.
    p.ui.lines.clear();
    testsupport::writeFile(p.dir / "MSDE_DBTOOL.INI", "[(local)]\r\nUSER_NAME=\r\n");
    Frm_EnCrt_ScheduleBackup_Config second(ctx, session);
    QCOMPARE(p.ui.lines,
             std::vector<std::string>{"MESSAGE\t3001\tINIファイル情報の取得\tデータベースログインユーザ\t"});
}

ENCRT_QTEST_MAIN(ServerTest)
#include "server_test.moc"
