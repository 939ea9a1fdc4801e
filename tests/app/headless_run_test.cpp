// A scheduled run as an administrator starts it on a server without a desktop: one headless
// tick against a running server, and the health check that watches it.

#include "common/password.h"
#include "platform/codepage.h"
#include "standin_server.h"
#include "support/log_reader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct Finished {
    int status = -1;
    std::string out, err;
};

class HeadlessRun : public ::testing::Test {
protected:
    HeadlessRun() {
        server.create_database("SABRELUND");
        server.load_product_schema("SABRELUND");
        server.create_database("SALES");
        fs::create_directories(config);
        fs::create_directories(backup);
        const auto key = common::passwordKeyPath(config);
        EXPECT_FALSE(common::ensurePasswordKey(key));
        testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                               "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                                   "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"
                                   "[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=" +
                                   server.user() + "\r\nPASSWORD=" + *common::encipherPassword(key, server.password()) +
                                   "\r\n");
        testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                         std::to_string(server.port()) + "\r\nDB_NAME=SABRELUND\r\n");
    }

    Finished program(const QStringList& arguments) const {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(tmp.path().string()));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ENCRT_APP_EXE),
                QStringList{"--config-dir", QString::fromStdString(config.string())} + arguments);
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }
    Finished fullRunAt0200() const { return program({"--headless", "--clock", "2026/12/03 02:00:00", "--tick-once"}); }

    encrt::test_support::StandinServer server;
    testsupport::TempDir tmp;
    const fs::path config = tmp / "config", backup = tmp / "backup";
};

TEST_F(HeadlessRun, ADueTickBacksUpTheSelectedAndSystemDatabasesAndRecordsTheTime) {
    const Finished r = fullRunAt0200();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");

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

TEST_F(HeadlessRun, StatusAfterADailyFullBackupTurnsFromOkToWarningToCritical) {
    ASSERT_EQ(fullRunAt0200().status, 0);
    const struct {
        const char* clock;
        int status;
        const char* firstWord;
    } days[] = {{"2026/12/03 03:00:00", 0, "OK: "},
                {"2026/12/04 03:00:00", 1, "WARNING: "},
                {"2026/12/05 03:00:00", 2, "CRITICAL: "}};
    for (const auto& day : days) {
        const Finished r = program({"--status", "--clock", day.clock});
        EXPECT_EQ(r.status, day.status) << day.clock << "\n" << r.out;
        EXPECT_EQ(r.out.rfind(day.firstWord, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");

        const Finished j = program({"--status", "--json", "--clock", day.clock});
        EXPECT_EQ(j.status, day.status);
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(j.out), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << j.out;
        EXPECT_EQ(o[QStringLiteral("exit_status")].toInt(), day.status);
        EXPECT_EQ(o[QStringLiteral("databases")].toArray().size(), 2);
        EXPECT_EQ(o[QStringLiteral("last_flawless_run")][QStringLiteral("start")].toString(),
                  QStringLiteral("2026-12-03T02:00:00+09:00"));
        EXPECT_FALSE(o[QStringLiteral("resident_running")].toBool());
    }
}

} // namespace
