// --restore-check as the systemd timer starts it: the built program against a running server.

#include "common/password.h"
#include "standin_server.h"
#include "support/log_reader.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

namespace fs = std::filesystem;

// A server whose SALES has a full backup at 02:00 and a log backup at 03:00 in the backup folder,
// and a settings folder that selects SALES.
class RestoreSite {
public:
    explicit RestoreSite(testsupport::StandinOptions options = {}) : server(std::move(options)) {
        server.createDatabase("SALES");
        fs::create_directories(config);
        fs::create_directories(backup / "SALES");
        const auto key = common::passwordKeyPath(config);
        common::ensurePasswordKey(key);
        testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                         std::to_string(server.port()) + "\r\nDB_NAME=SALES\r\n");
        testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                               "[Schedule]\r\nDb=SALES\r\nPath=" + backup.string() +
                                   "\r\n[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=" + server.user() +
                                   "\r\nPASSWORD=" + *common::encipherPassword(key, server.password()) + "\r\n");
        server.execute("CREATE TABLE t (n INT); INSERT INTO t VALUES (1)", "SALES");
        server.execute("BACKUP DATABASE SALES TO DISK = N'" + file("020000_INIT") + "' WITH INIT, CHECKSUM");
        server.execute("INSERT INTO t VALUES (2)", "SALES");
        server.execute("BACKUP LOG SALES TO DISK = N'" + file("030000_LOG") + "' WITH INIT, CHECKSUM");
    }

    std::string file(const std::string& stampAndKind) const {
        return (backup / "SALES" / ("SALES_20261203" + stampAndKind + ".DAT")).string();
    }

    void start(QProcess& p, const QStringList& arguments) const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ENCRT_APP_EXE),
                QStringList{"--config-dir", QString::fromStdString(config.string())} + arguments);
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    std::vector<testsupport::TextRow> scratch() const {
        return server.query("SELECT state_desc FROM sys.databases WHERE name = 'encrt_restore_check'");
    }

    testsupport::StandinServer server;
    testsupport::TempDir tmp;
    fs::path config = tmp / "config", backup = tmp / "backup";
};

TEST(RestoreCheckProgram, SigtermDuringTheRestoreLeavesNoScratchDatabase) {
    // Every BACKUP and RESTORE statement takes two seconds on this server.
    RestoreSite site({.extraArguments = {"--backup-delay", "2000"}});
    QProcess p;
    site.start(p, {"--restore-check", "--clock", "2026/12/03 07:00:00"});
    QElapsedTimer waited;
    waited.start();
    while (site.scratch().empty() && waited.elapsed() < 30000)
        QThread::msleep(50);
    // The full backup is restored; the log step waits on the server.
    ASSERT_EQ(site.scratch(), (std::vector<testsupport::TextRow>{{"RESTORING"}}));
    ::kill(pid_t(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_NE(p.readAllStandardOutput().toStdString().find("STOPPED\t"), std::string::npos);
    EXPECT_TRUE(site.scratch().empty());
    const auto log = testsupport::readLogLines(site.backup / "20261203.log");
    EXPECT_NE(std::find(log.begin(), log.end(), "【ﾘｽﾄｱﾁｪｯｸ中断】\u3000原因：終了シグナル"), log.end());
}

TEST(RestoreCheckProgram, ExitStatusAndOneLinePerDatabase) {
    RestoreSite site;
    struct Case {
        const char* name;
        QStringList arguments;
        int status;
        const char* firstLine;
    };
    const std::vector<Case> cases = {
        {"the chain restores", {}, 0, "OK\tSALES\t2 files, "},
        {"a database without backups", {"--database", "SALES", "--database", "OTHER"}, 1, "OK\tSALES\t"},
        {"no external folder", {"--from", "external"}, 2, "NOT RUN\tno external folder is set"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess p;
        site.start(p, QStringList{"--restore-check"} + c.arguments);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), c.status);
        const std::string out = p.readAllStandardOutput().toStdString();
        EXPECT_EQ(out.rfind(c.firstLine, 0), 0u) << out;
        EXPECT_EQ(p.readAllStandardError().toStdString(), "");
    }
}

} // namespace
