// Scheduled runs as an administrator starts them on a server without a desktop: the built
// program, headless, against a running server, and the health check that watches it.

#include "common/password.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "standin_server.h"
#include "support/log_reader.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <algorithm>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// The ordinary user the program runs as when the tests run as root: root opens every folder.
constexpr uid_t kUser = 65534;
const QStringList kAsUser = {"--reuid=65534", "--regid=65534", "--clear-groups", "--"};

bool userCan(const char* test, const fs::path& path) {
    QProcess p;
    p.start(QStringLiteral("setpriv"), kAsUser + QStringList{"test", test, QString::fromStdString(path.string())});
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// A folder the program can reach as that user: the build tree may lie below a folder only root
// may enter.
std::string baseFolder() {
    const std::string base = testsupport::TempDir::defaultBase();
    return ::geteuid() != 0 || userCan("-x", base) ? base : "/var/tmp";
}

void chownTree(const fs::path& root) {
    ASSERT_EQ(::chown(root.c_str(), kUser, kUser), 0);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        ASSERT_EQ(::lchown(entry.path().c_str(), kUser, kUser), 0) << entry.path();
}

// A server with SABRELUND (the product database) and SALES, a settings folder that names both,
// and a backup folder.
class HeadlessSite {
public:
    explicit HeadlessSite(testsupport::StandinOptions options = {}) : server(std::move(options)) {
        server.createDatabase("SABRELUND");
        server.loadProductSchema("SABRELUND");
        server.createDatabase("SALES");
        fs::create_directories(config);
        fs::create_directories(backup);
        const auto key = common::passwordKeyPath(config);
        EXPECT_FALSE(common::ensurePasswordKey(key));
        password = *common::encipherPassword(key, server.password());
        testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=127.0.0.1," +
                                                         std::to_string(server.port()) + "\r\nDB_NAME=SABRELUND\r\n");
    }

    void writeSettings(const std::string& day, const std::string& time) const {
        testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                               "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                                   "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=" + day + "\r\nTime=" + time +
                                   "\r\n[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=" + server.user() +
                                   "\r\nPASSWORD=" + password + "\r\n");
    }

    void start(QProcess& p, const QStringList& extra) const { startProgram(p, QStringList{"--headless"} + extra); }

    void startProgram(QProcess& p, const QStringList& arguments) const {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(tmp.path().string()));
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ENCRT_APP_EXE),
                QStringList{"--config-dir", QString::fromStdString(config.string())} + arguments);
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    std::string ini() const { return platform::fromCp932(testsupport::readFile(config / "MSDE_DBTOOL.INI")); }

    testsupport::StandinServer server;
    testsupport::TempDir tmp;
    fs::path config = tmp / "config", backup = tmp / "backup";
    std::string password;
};

// Reads standard error until it holds `lines` lines or the time is up.
std::string waitForLines(QProcess& p, std::string& err, int lines, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (std::count(err.begin(), err.end(), '\n') < lines && clock.elapsed() < timeoutMs) {
        p.waitForReadyRead(100);
        err += p.readAllStandardError().toStdString();
    }
    return err;
}

TEST(HeadlessRun, ADueTickBacksUpTheSelectedAndSystemDatabasesAndRecordsTheTime) {
    HeadlessSite site;
    site.writeSettings("127", "02:00");
    QProcess p;
    site.start(p, {"--clock", "2026/12/03 02:00:00", "--tick-once"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");

    for (const char* file :
         {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261203020000_INIT.DAT",
          "MASTER_20261203020000_INIT.DAT", "MSDB_20261203020000_INIT.DAT", "MODEL_20261203020000_INIT.DAT"})
        EXPECT_GT(fs::file_size(site.backup / file), 0u) << file;
    const auto log = testsupport::readLogLines(site.backup / "20261203.log");
    ASSERT_EQ(log.size(), 17u);
    EXPECT_EQ(log[3], "<ts>  ---------スケジュールバックアップ Start---------");
    const std::string ini = site.ini();
    EXPECT_NE(ini.find("Iniflg=0\r\n"), std::string::npos);
    EXPECT_NE(ini.find("[BACKUPTIME]\r\nSTART=2026/12/03 02:00:00\r\nEND=2026/12/03 02:00:"), std::string::npos);
    EXPECT_TRUE(site.server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty());
}

TEST(HeadlessRun, StatusAfterADailyFullBackupTurnsFromOkToWarningToCritical) {
    HeadlessSite site;
    site.writeSettings("127", "02:00");
    QProcess run;
    site.start(run, {"--clock", "2026/12/03 02:00:00", "--tick-once"});
    ASSERT_TRUE(run.waitForFinished(60000));
    ASSERT_EQ(run.exitCode(), 0);

    struct Finished {
        int status = -1;
        std::string out, err;
    };
    const auto status = [&](const QStringList& arguments) {
        QProcess p;
        site.startProgram(p, QStringList{"--status"} + arguments);
        EXPECT_TRUE(p.waitForFinished(60000));
        return Finished{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                        p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
    };
    const struct {
        const char* clock;
        int status;
        const char* firstWord;
    } days[] = {{"2026/12/03 03:00:00", 0, "OK: "},
                {"2026/12/04 03:00:00", 1, "WARNING: "},
                {"2026/12/05 03:00:00", 2, "CRITICAL: "}};
    const Finished alone = status({"--clock", days[0].clock});
    EXPECT_EQ(alone.status, 1);
    EXPECT_EQ(alone.out.rfind("WARNING: no resident copy runs for ", 0), 0u) << alone.out;
    // From here on a resident copy holds the settings folder, as the one started at login would.
    const int lock = ::open((site.config / "encrt-schedule-backup.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    for (const auto& day : days) {
        const Finished r = status({"--clock", day.clock});
        EXPECT_EQ(r.status, day.status) << day.clock << "\n" << r.out;
        EXPECT_EQ(r.out.rfind(day.firstWord, 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");

        const Finished j = status({"--json", "--clock", day.clock});
        EXPECT_EQ(j.status, day.status);
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(j.out), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << j.out;
        EXPECT_EQ(o[QStringLiteral("exit_status")].toInt(), day.status);
        EXPECT_EQ(o[QStringLiteral("databases")].toArray().size(), 2);
        EXPECT_EQ(o[QStringLiteral("last_flawless_run")][QStringLiteral("start")].toString(),
                  QStringLiteral("2026-12-03T02:00:00+09:00"));
        EXPECT_TRUE(o[QStringLiteral("resident_running")].toBool());
    }
    ::close(lock);

    // The metrics are read by a Prometheus text-format parser; a bad option still answers in the
    // form that was asked for.
    const Finished metrics = status({"--metrics", "--clock", days[0].clock});
    QProcess parser; // Debian's interpreter, which python3-prometheus-client serves
    parser.start(QStringLiteral("/usr/bin/python3"),
                 {"-c", "import sys\nfrom prometheus_client.parser import text_string_to_metric_families as parse\n"
                        "names = {f.name for f in parse(sys.stdin.read())}\nprint(sorted(names))"});
    parser.write(QByteArray::fromStdString(metrics.out));
    parser.closeWriteChannel();
    ASSERT_TRUE(parser.waitForFinished(30000));
    ASSERT_EQ(parser.exitCode(), 0) << parser.readAllStandardError().toStdString() << metrics.out;
    const std::string names = parser.readAllStandardOutput().toStdString();
    for (const char* name : {"'encrt_status'", "'encrt_backup_age_seconds'", "'encrt_backup_size_bytes'"})
        EXPECT_NE(names.find(name), std::string::npos) << names;
    const Finished bad = status({"--json", "--grace", "soon"});
    EXPECT_EQ(bad.status, 3);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(bad.out))[QStringLiteral("state")].toString(),
              QStringLiteral("UNKNOWN"))
        << bad.out;
}

// SIGTERM while the server works on a backup (slowed down to a minute): the run ends within
// seconds, says so once in the daily log and exits with the signal's status, whether the server
// still answers (the lock row is then gone) or was stopped and answers nothing at all.
TEST(HeadlessRun, SigtermDuringABackupEndsTheRunWithinSeconds) {
    for (const bool serverStopped : {false, true}) {
        SCOPED_TRACE(serverStopped ? "server stopped" : "server answering");
        HeadlessSite site({.extraArguments = {"--backup-delay", "60000"}});
        site.writeSettings("127", "02:00");
        QProcess p;
        site.start(p, {"--clock", "2026/12/03 02:00:00", "--tick-once"});
        const fs::path log = site.backup / "20261203.log";
        QElapsedTimer waited;
        waited.start();
        while (testsupport::readFile(log).find(" Start---") == std::string::npos && waited.elapsed() < 30000)
            QThread::msleep(50);
        QThread::msleep(500); // past the local retention, into the first backup statement
        ASSERT_EQ(p.state(), QProcess::Running);
        ASSERT_EQ(site.server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").size(), 1u);
        if (serverStopped)
            ::kill(site.server.pid(), SIGSTOP);
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(p.processId()), SIGTERM);
        const bool ended = p.waitForFinished(20000);
        const qint64 elapsed = clock.elapsed();
        if (serverStopped)
            ::kill(site.server.pid(), SIGCONT);
        ASSERT_TRUE(ended);
        EXPECT_LT(elapsed, 6000);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 128 + SIGTERM);
        const auto lines = testsupport::readLogLines(log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "<ts>  ---------スケジュールバックアップ SIGTERM により中断しました---------"),
                  1);
        if (!serverStopped) {
            EXPECT_TRUE(site.server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty());
        }
    }
}

// The schedule moved from 02:10 to 02:01 while the program runs (the dialog is a process of its
// own): the first tick, at 02:01:30, backs up every selected database. Takes a minute.
TEST(HeadlessRun, SettingsSavedWhileResidentTakeEffectAtTheNextTick) {
    HeadlessSite site;
    site.writeSettings("127", "02:10");
    QProcess p;
    site.start(p, {"--clock", "2026/12/03 02:00:30"});
    QThread::sleep(3); // past the start-up load
    site.writeSettings("127", "02:01");

    QElapsedTimer clock;
    clock.start();
    while (site.ini().find("END=2026/12/03 02:01") == std::string::npos && clock.elapsed() < 150000)
        QThread::msleep(500);
    // The tick removes its lock row after recording END; a stop before that would cut it short.
    while (!site.server.query("SELECT テーブル名称 FROM 排他管理", "SABRELUND").empty() && clock.elapsed() < 160000)
        QThread::msleep(200);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");
    for (const std::string name : {"SABRELUND", "SALES"}) {
        ASSERT_TRUE(fs::exists(site.backup / name)) << name;
        int files = 0;
        for (const auto& entry : fs::directory_iterator(site.backup / name)) {
            EXPECT_EQ(entry.path().filename().string().rfind(name + "_202612030201", 0), 0u) << entry.path();
            ++files;
        }
        EXPECT_EQ(files, 1) << name;
    }
}

TEST(HeadlessRun, SettingsThatCanNeverBackUpAreToldAtStartUpAndAtEachReload) {
    HeadlessSite site;
    site.writeSettings("0", "02:00");
    QProcess p;
    site.start(p, {"--clock", "2026/12/03 02:00:30"});
    std::string err;
    waitForLines(p, err, 1, 10000);
    site.writeSettings("127", "2:00");
    ::kill(pid_t(p.processId()), SIGHUP);
    waitForLines(p, err, 2, 10000);
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(20000));
    err += p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(err,
              "NOTICE\tINIファイル内容チェックエラー\t全体バックアップスケジュール(曜日)の設定が正しくありません。\n"
              "NOTICE\tINIファイル内容チェックエラー\t全体バックアップスケジュール(時刻)の設定が正しくありません。\n");
}

TEST(HeadlessRun, AnOrdinaryUserNamesAnUnreadableSubFolderAndStillDeletesExpiredBackups) {
    testsupport::StandinServer server;
    server.createDatabase("SABRELUND");
    server.loadProductSchema("SABRELUND");
    server.createDatabase("SALES");
    testsupport::TempDir tmp(baseFolder());
    const bool root = ::geteuid() == 0;
    const fs::path config = tmp / "config", backup = tmp / "backup", home = tmp / "home";
    for (const auto& d : {config, backup, home, tmp / "run"})
        fs::create_directories(d);
    fs::permissions(tmp / "run", fs::perms::owner_all); // what a runtime folder must be
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
    const std::string expired = (backup / "SALES" / "SALES_20261101020000_INIT.DAT").string();
    const std::string kept = (backup / "SALES" / "SALES_20261201020000_INIT.DAT").string();
    const std::string hidden = (backup / "lost+found" / "SALES_20261101020000_INIT.DAT").string();
    for (const auto& f : {expired, kept, hidden}) {
        testsupport::writeFile(f, "backup");
        ASSERT_FALSE(platform::LocalFileSystem().setLastModified(
            f, platform::makeLocalTime(2026, f == kept ? 12 : 11, 1, 2, 0, 0)));
    }

    fs::path program = ENCRT_APP_EXE;
    QString command = QString::fromStdString(program.string());
    QStringList arguments;
    const fs::path lostFound = backup / "lost+found";
    if (root) {
        if (!userCan("-x", program)) {
            program = tmp / "encrt-schedule-backup";
            fs::copy_file(ENCRT_APP_EXE, program);
        }
        ASSERT_EQ(::chmod(tmp.path().c_str(), 0755), 0);
        chownTree(tmp.path());
        ASSERT_EQ(::chown(lostFound.c_str(), 0, 0), 0); // as mkfs leaves it
        ASSERT_EQ(::chmod(lostFound.c_str(), 0700), 0);
        ASSERT_TRUE(userCan("-w", config)) << "uid " << kUser << " cannot reach " << config;
        command = QStringLiteral("setpriv");
        arguments = kAsUser + QStringList{QString::fromStdString(program.string())};
    } else {
        ASSERT_EQ(::chmod(lostFound.c_str(), 0), 0);
    }

    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString((tmp / "run").string()));
    // The suppressions in the source tree may be out of that user's reach; leaks are looked for
    // by the runs of the other tests.
    env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    p.setProcessEnvironment(env);
    p.start(command, arguments + QStringList{"--config-dir", QString::fromStdString(config.string()), "--headless",
                                             "--clock", "2026/12/03 02:00:30", "--tick-once"});
    ASSERT_TRUE(p.waitForFinished(60000));
    ::chmod(lostFound.c_str(), 0755); // for the clean-up
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "");

    EXPECT_FALSE(fs::exists(expired));
    EXPECT_TRUE(fs::exists(kept));
    EXPECT_TRUE(fs::exists(hidden));
    EXPECT_TRUE(fs::exists(backup / "SALES" / "SALES_20261203020030_INIT.DAT"));
    const std::string S = "\u3000";
    const auto log = testsupport::readLogLines(backup / "20261203.log");
    const auto start = std::size_t(
        std::find(log.begin(), log.end(), "<ts>  ---保存期間を過ぎたファイルの削除 Start---") - log.begin());
    ASSERT_LT(start + 4, log.size());
    EXPECT_EQ(std::vector<std::string>(log.begin() + long(start) + 1, log.begin() + long(start) + 5),
              (std::vector<std::string>{
                  "結果：失敗" + S + "ﾌｫﾙﾀﾞ名：" + lostFound.string(), "Err.Description：Permission denied",
                  "結果：成功" + S + "削除ﾌｧｲﾙ名：" + expired, "<ts>  ---保存期間を過ぎたファイルの削除 End---"}));
    // Told once in the run, although the same-day clean-ups list the folder again; and kept for
    // the health check.
    EXPECT_EQ(std::count(log.begin(), log.end(), "結果：失敗" + S + "ﾌｫﾙﾀﾞ名：" + lostFound.string()), 1);
    QProcess status;
    status.start(
        QString::fromStdString(program.string()),
        {"--status", "--config-dir", QString::fromStdString(config.string()), "--clock", "2026/12/03 03:00:00"});
    ASSERT_TRUE(status.waitForFinished(60000));
    const std::string report = status.readAllStandardOutput().toStdString();
    EXPECT_NE(report.find(") could not read " + lostFound.string() + ": expired backups in it are never deleted"),
              std::string::npos)
        << report;
}

} // namespace

TEST(HeadlessRun, SettingsFailingTheCheckBeforeARunStandForTheDialogInTheJournal) {
    HeadlessSite site;
    const fs::path keys = site.tmp / "keys";
    testsupport::writeFile(keys, "a file, not a folder");
    testsupport::writeFile(site.config / "MSDE_DBTOOL.INI",
                           "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + site.backup.string() +
                               "\r\nLocalPreserveTerm=30\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\n"
                               "EXECUTE=1\r\nDBBACKUPFILE_DIR=" +
                               site.backup.string() + "\r\nKEYFILE_DIR=" + keys.string() +
                               "\r\nGIJYUTUFILE_DIR=" + site.backup.string() + "\r\nOutSidePreserveTerm=60\r\n" +
                               "[(local)]\r\nUSER_NAME=" + site.server.user() + "\r\nPASSWORD=" + site.password +
                               "\r\n");
    QProcess p;
    site.start(p, {"--clock", "2026/12/03 02:00:00", "--tick-once"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_NE(err.find("MSGBOX\texclamation\tメッセージ\t環境設定画面を起動します。\nDIALOG\tsettings\n"),
              std::string::npos)
        << err;
}
