// A scheduled run as an administrator starts it on a server without a desktop: one headless
// tick against a running server.

#include "common/password.h"
#include "platform/codepage.h"
#include "standin_server.h"
#include "support/log_reader.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

TEST(HeadlessRun, ADueTickBacksUpTheSelectedAndSystemDatabasesAndRecordsTheTime) {
    encrt::test_support::StandinServer server;
    server.create_database("SABRELUND");
    server.load_product_schema("SABRELUND");
    server.create_database("SALES");
    testsupport::TempDir tmp;
    const fs::path config = tmp / "config", backup = tmp / "backup";
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

    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(tmp.path().string()));
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ENCRT_APP_EXE), {"--config-dir", QString::fromStdString(config.string()), "--headless",
                                            "--clock", "2026/12/03 02:00:00", "--tick-once"});
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

} // namespace
