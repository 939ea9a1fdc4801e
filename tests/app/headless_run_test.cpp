// A scheduled run as an administrator starts it on a server without a desktop: one headless
// tick against a running server.

#include "common/password.h"
#include "platform/codepage.h"
#include "standin_server.h"
#include "support/log_reader.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <csignal>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

// A program folder whose settings make a full backup of SABRELUND and SALES due at 02:00 on the
// server, backing up into `backup`.
void writeSettings(const fs::path& config, const fs::path& backup, const encrt::test_support::StandinServer& server) {
    fs::create_directories(config);
    fs::create_directories(backup);
    const auto key = common::passwordKeyPath(config);
    ASSERT_FALSE(common::ensurePasswordKey(key));
    testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                           "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                               "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"
                               "[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=" +
                               server.user() + "\r\nPASSWORD=" + *common::encipherPassword(key, server.password()) +
                               "\r\n");
    testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                     std::to_string(server.port()) + "\r\nDB_NAME=SABRELUND\r\n");
}

void prepareServer(encrt::test_support::StandinServer& server) {
    server.create_database("SABRELUND");
    server.load_product_schema("SABRELUND");
    server.create_database("SALES");
}

// One tick at the schedule's minute, without a desktop.
void startTickOnce(QProcess& p, const testsupport::TempDir& tmp, const fs::path& config) {
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(tmp.path().string()));
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ENCRT_APP_EXE), {"--config-dir", QString::fromStdString(config.string()), "--headless",
                                            "--clock", "2026/12/03 02:00:00", "--tick-once"});
    p.waitForStarted(5000);
}

TEST(HeadlessRun, ADueTickBacksUpTheSelectedAndSystemDatabasesAndRecordsTheTime) {
    encrt::test_support::StandinServer server;
    prepareServer(server);
    testsupport::TempDir tmp;
    const fs::path config = tmp / "config", backup = tmp / "backup";
    writeSettings(config, backup, server);

    QProcess p;
    startTickOnce(p, tmp, config);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");

    for (const char* file :
         {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261203020000_INIT.DAT",
          "MASTER_20261203020000_INIT.DAT", "MSDB_20261203020000_INIT.DAT", "MODEL_20261203020000_INIT.DAT"})
        EXPECT_GT(fs::file_size(backup / file), 0u) << file;
    const auto log = testsupport::readLogLines(backup / "20261203.log");
    ASSERT_EQ(log.size(), 17u);
    EXPECT_EQ(log[3], "<ts>  ---------スケジュールバックアップ Start---------");
    const std::string ini = platform::fromCp932(testsupport::readFile(config / "MSDE_DBTOOL.INI"));
    EXPECT_NE(ini.find("Iniflg=0\r\n"), std::string::npos);
    EXPECT_NE(ini.find("[BACKUPTIME]\r\nSTART=2026/12/03 02:00:00\r\nEND=2026/12/03 02:00:"), std::string::npos);
    EXPECT_TRUE(server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty());
}

// SIGTERM while the server works on a backup (slowed down to a minute): the run ends within
// seconds, says so once in the daily log and exits with the signal's status, whether the server
// still answers (the lock row is then gone) or was stopped and answers nothing at all.
TEST(HeadlessRun, SigtermDuringABackupEndsTheRunWithinSeconds) {
    for (const bool serverStopped : {false, true}) {
        SCOPED_TRACE(serverStopped ? "server stopped" : "server answering");
        encrt::test_support::StandinServer server({.extra_arguments = {"--backup-delay", "60000"}});
        prepareServer(server);
        testsupport::TempDir tmp;
        const fs::path config = tmp / "config", backup = tmp / "backup";
        writeSettings(config, backup, server);

        QProcess p;
        startTickOnce(p, tmp, config);
        const fs::path log = backup / "20261203.log";
        QElapsedTimer waited;
        waited.start();
        while (testsupport::readFile(log).find(" Start---") == std::string::npos && waited.elapsed() < 30000)
            QThread::msleep(50);
        QThread::msleep(500); // past the local retention, into the first backup statement
        ASSERT_EQ(p.state(), QProcess::Running);
        ASSERT_EQ(server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").size(), 1u);

        if (serverStopped)
            ::kill(server.pid(), SIGSTOP);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(p.processId()), SIGTERM);
        const bool ended = p.waitForFinished(20000);
        const qint64 elapsed = clock.elapsed();
        if (serverStopped)
            ::kill(server.pid(), SIGCONT);
        ASSERT_TRUE(ended);
        EXPECT_LT(elapsed, 6000);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 128 + SIGTERM);

        const auto lines = testsupport::readLogLines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "<ts>  ---------スケジュールバックアップ SIGTERM により中断しました---------"),
                  1);
        if (!serverStopped) {
            EXPECT_TRUE(server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty());
        }
    }
}

} // namespace
