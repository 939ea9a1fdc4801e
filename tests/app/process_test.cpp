// The built programs as a user starts them: single instance, one tick, the password command.

#include "app/single_instance.h"
#include "common/password.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kIni = "[Schedule]\r\nDb=PRODUCT\r\nLocalPreserveTerm=30\r\n"
                         "[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\nEXECUTE=0\r\n";
// kIni names no backup folder: the start-up load says so once.
const std::string kNotice =
    "NOTICE\tINIファイル内容チェックエラー\tDBバックアップファイル保存先フォルダの設定が正しくありません。\n";

struct Result {
    int status = -1;
    std::string out, err;
    qint64 elapsedMs = 0;
};

// Every file of a folder with its contents and modification time.
std::map<std::string, std::pair<std::string, fs::file_time_type>> snapshot(const fs::path& dir) {
    std::map<std::string, std::pair<std::string, fs::file_time_type>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files[entry.path().string()] = {readFile(entry.path()), entry.last_write_time()};
    return files;
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        fs::create_directories(runtimeDir);
        fs::create_directories(configDir);
        writeFile(configDir / "MSDE_DBTOOL.INI", kIni);
        // The lock lives in the runtime folder: keep it away from a copy the developer runs.
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtimeDir.string()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtimeDir.string()));
        if (!env.contains(QStringLiteral("LSAN_OPTIONS")))
            env.insert(QStringLiteral("LSAN_OPTIONS"),
                       QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS ":print_suppressions=0"));
    }

    QStringList args(QStringList extra) const {
        return QStringList{"--config-dir", QString::fromStdString(configDir.string())} + extra;
    }
    void start(QProcess& p, const char* program, const QStringList& arguments) const {
        p.setProcessEnvironment(env);
        p.start(QString::fromUtf8(program), arguments);
        ASSERT_TRUE(p.waitForStarted(5000));
    }
    Result run(const char* program, const QStringList& arguments, const QByteArray& input = {}) const {
        QProcess p;
        QElapsedTimer clock;
        clock.start();
        start(p, program, arguments);
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(20000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString(), clock.elapsed()};
    }
    fs::path lockPath() const { return app::SingleInstanceLock::lockPathFor(fs::canonical(configDir)); }

    testsupport::TempDir tmp;
    fs::path runtimeDir = tmp / "run";
    fs::path configDir = tmp / "config";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

TEST_F(ProgramTest, SecondCopyEndsAtOnceSilentlyTouchingNothing) {
    QProcess first;
    start(first, ENCRT_APP_EXE, args({"--headless"}));
    for (int i = 0; i < 200 && !fs::exists(lockPath()); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(fs::exists(lockPath()));
    const auto before = snapshot(configDir);

    // Without any display: a second copy that got as far as the GUI would fail loudly.
    QProcessEnvironment bare = env;
    bare.remove(QStringLiteral("DISPLAY"));
    bare.remove(QStringLiteral("WAYLAND_DISPLAY"));
    bare.remove(QStringLiteral("QT_QPA_PLATFORM"));
    QProcess second;
    second.setProcessEnvironment(bare);
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(ENCRT_APP_EXE), args({}));
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput().toStdString() + second.readAllStandardError().toStdString(), "");
    EXPECT_EQ(snapshot(configDir), before);

    // The health check sees the running copy and leaves it alone.
    const Result status = run(ENCRT_APP_EXE, args({"--status", "--clock", "2026/12/03 03:00:00"}));
    EXPECT_NE(status.out.find("\nresident copy: running\n"), std::string::npos) << status.out;
    EXPECT_EQ(snapshot(configDir), before);

    first.terminate(); // SIGTERM ends it as the menu's end command does
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(first.readAllStandardError().toStdString(), kNotice);
    EXPECT_FALSE(fs::exists(lockPath()));
}

TEST_F(ProgramTest, IdleTickOnceWritesOnlyIniflg) {
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, kNotice);
    EXPECT_EQ(readFile(configDir / "MSDE_DBTOOL.INI"),
              "[Schedule]\r\nDb=PRODUCT\r\nLocalPreserveTerm=30\r\nIniflg=1\r\n"
              "[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\nEXECUTE=0\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(configDir), fs::directory_iterator()), 1);
}

TEST_F(ProgramTest, DueTickOnceAtTheClocksMinuteWritesNoIniflg) {
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 02:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(configDir / "MSDE_DBTOOL.INI"), kIni);
}

TEST_F(ProgramTest, HeadlessMessagesGoToStandardError) {
    ::chmod((configDir / "MSDE_DBTOOL.INI").c_str(), 0444);
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, kNotice + "MESSAGE\t3024\t\"1\"\t\tVBFILE_WriteINI\t"
                               "INIファイルへの書込みに失敗しました。\\n書込み値：\"1\"\\n処理：VBFILE_WriteINI\n");
}

TEST_F(ProgramTest, LockLeftByADeadCopyIsTakenOver) {
    writeFile(lockPath(), "999999999\nencrt-schedule-backup\n\n");
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(readFile(configDir / "MSDE_DBTOOL.INI").find("Iniflg=1"), std::string::npos);
    EXPECT_FALSE(fs::exists(lockPath()));
}

TEST_F(ProgramTest, LockOfALivingCopyHoldsHoweverOldItIs) {
    writeFile(lockPath(), std::to_string(::getpid()) + "\napp_tests\n\n"); // this test program as the owner
    fs::last_write_time(lockPath(), fs::file_time_type::clock::now() - std::chrono::hours(30));
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(configDir / "MSDE_DBTOOL.INI"), kIni);
}

TEST_F(ProgramTest, WithoutADisplayTheProgramPointsToHeadlessAndLeavesNoLock) {
    QProcessEnvironment bare = env;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QString::fromLatin1(variable));
    for (const QStringList& extra : {QStringList{}, QStringList{"--settings"}}) {
        QProcess p;
        p.setProcessEnvironment(bare);
        p.start(QStringLiteral(ENCRT_APP_EXE), args(extra));
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_NE(p.exitCode(), 0);
        const std::string err = p.readAllStandardError().toStdString();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("--headless"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(lockPath()));
    }
    EXPECT_EQ(readFile(configDir / "MSDE_DBTOOL.INI"), kIni);
}

// Without --config-dir: the executable's folder only when it holds the settings, else the
// user's configuration folder, made on first use (the health check makes nothing).
TEST_F(ProgramTest, SettingsFolderDefaultsToTheUsersConfigurationFolder) {
    const fs::path exeDir = tmp / "bin";
    writeFile(exeDir / "Msde_DbTool.ini", kIni);
    EXPECT_EQ(platform::defaultSettingsFolder(exeDir, "MSDE_DBTOOL.INI", "encrt-schedule-backup", true), exeDir);

    const fs::path xdg = tmp / "xdg", home = tmp / "home";
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(xdg.string()));
    const Result status = run(ENCRT_APP_EXE, {"--status"});
    EXPECT_EQ(status.status, 3);
    EXPECT_EQ(
        status.out.rfind("UNKNOWN: cannot read the settings folder " + (xdg / "encrt-schedule-backup").string(), 0), 0u)
        << status.out;
    EXPECT_FALSE(fs::exists(xdg));

    const Result password = run(ENCRT_PASSWORD_EXE, {}, "pw\n");
    ASSERT_EQ(password.status, 0) << password.err;
    EXPECT_TRUE(fs::exists(common::passwordKeyPath(xdg / "encrt-schedule-backup")));
    EXPECT_EQ(fs::status(xdg / "encrt-schedule-backup").permissions() & fs::perms::all, fs::perms::owner_all);

    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.insert(QStringLiteral("HOME"), QString::fromStdString(home.string()));
    const Result tick = run(ENCRT_APP_EXE, {"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"});
    EXPECT_EQ(tick.status, 0) << tick.err;
    EXPECT_NE(readFile(home / ".config/encrt-schedule-backup/MSDE_DBTOOL.INI").find("Iniflg=1"), std::string::npos);
}

TEST_F(ProgramTest, PasswordCommandEnciphersWithANewPrivateKey) {
    const QStringList a = args({});
    const Result r = run(ENCRT_PASSWORD_EXE, a, "s3cret pass\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.out.empty());
    const std::string stored = r.out.substr(0, r.out.size() - 1);
    EXPECT_EQ(common::fnDecryptPassword(configDir, stored), "s3cret pass");
    EXPECT_EQ(fs::status(common::passwordKeyPath(configDir)).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

} // namespace
