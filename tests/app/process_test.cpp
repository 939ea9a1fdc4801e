// The built programs as a user starts them: single instance, one tick, the password command.

#include "app/single_instance.h"
#include "common/password.h"
#include "core/setup_state.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

const std::string kIni = "[Schedule]\r\nDb=PRODUCT\r\nLocalPreserveTerm=30\r\n"
                         "[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\nEXECUTE=0\r\n";

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
    fs::path lockPath() const { return app::SingleInstanceLock::lockPathFor(configDir); }
    // kIni names neither the server nor the login: the start-up says once that the folder was
    // never set up, and how to set it up.
    std::string notice() const {
        const std::string command = "encrt-schedule-backup --setup --config-dir " + fs::canonical(configDir).string();
        const std::string text = core::setupNoticeText(
            {"ZUZOR.INI", "MSDE_DBTOOL.INI [(local)] USER_NAME", "MSDE_DBTOOL.INI [(local)] PASSWORD"}, command);
        return "NOTICE\t" + std::string(core::kSetupNoticeTitle) + "\t" + text + "\n";
    }

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
    QThread::msleep(200); // the file exists a moment before it is locked
    const auto before = snapshot(configDir);

    // As cron starts it: no runtime folder and no display. A second copy that got as far as the
    // GUI would fail loudly; one that looked for its lock elsewhere would stay and run.
    QProcessEnvironment bare = env;
    for (const char* name : {"XDG_RUNTIME_DIR", "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        bare.remove(QString::fromUtf8(name));
    QProcess second;
    second.setProcessEnvironment(bare);
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(ENCRT_APP_EXE), args({"--headless"}));
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
    EXPECT_EQ(first.readAllStandardError().toStdString(), notice());
}

TEST_F(ProgramTest, IdleTickOnceWritesOnlyIniflg) {
    const Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, notice());
    EXPECT_EQ(readFile(configDir / "MSDE_DBTOOL.INI"),
              "[Schedule]\r\nDb=PRODUCT\r\nLocalPreserveTerm=30\r\nIniflg=1\r\n"
              "[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\nEXECUTE=0\r\n");
    // Beside the settings only the lock file, empty.
    EXPECT_EQ(std::distance(fs::directory_iterator(configDir), fs::directory_iterator()), 2);
    EXPECT_EQ(readFile(lockPath()), "");
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
    EXPECT_EQ(r.err, notice() + "MESSAGE\t3024\t\"1\"\t\tVBFILE_WriteINI\t"
                                "INIファイルへの書込みに失敗しました。\\n書込み値：\"1\"\\n処理：VBFILE_WriteINI\n");
}

TEST_F(ProgramTest, OnlyAHeldLockKeepsACopyOut) {
    // A lock file left by a copy that died holds nothing.
    writeFile(lockPath(), "");
    Result r = run(ENCRT_APP_EXE, args({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(readFile(configDir / "MSDE_DBTOOL.INI").find("Iniflg=1"), std::string::npos);

    // Held by another process (this test), however the folder is named.
    writeFile(configDir / "MSDE_DBTOOL.INI", kIni);
    const int fd = ::open(lockPath().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const QString sameFolder = QString::fromStdString((configDir / "." / "").string());
    r = run(ENCRT_APP_EXE, {"--config-dir", sameFolder, "--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"});
    ::close(fd);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out + r.err, "");
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
        // The lock file may stay; what must not stay is a lock on it.
        const int fd = ::open(lockPath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
            ::close(fd);
        }
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

TEST_F(ProgramTest, PasswordCommandRefusesWhatNoLoginCouldUse) {
    for (const char* input : {"\n", "", "ab};cd\n"}) {
        const Result r = run(ENCRT_PASSWORD_EXE, args({}), input);
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_EQ(r.out, "") << input;
        EXPECT_NE(r.err, "") << input;
    }
    EXPECT_FALSE(fs::exists(common::passwordKeyPath(configDir)));
    const Result help = run(ENCRT_PASSWORD_EXE, {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: encrt-password", 0), 0u);
}

// encrt-password on a pseudo-terminal: each line is typed once its prompt has appeared.
Result typeOnTerminal(const QStringList& arguments, const std::vector<std::string>& lines) {
    std::vector<std::string> argv{ENCRT_PASSWORD_EXE};
    for (const QString& a : arguments)
        argv.push_back(a.toStdString());
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        std::vector<char*> raw;
        for (auto& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    Result r;
    const auto readSome = [&](int timeoutMs) {
        pollfd pfd{master, POLLIN, 0};
        char buf[512];
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            return false;
        r.out.append(buf, std::size_t(n));
        return true;
    };
    std::size_t prompts = 0;
    for (const std::string& line : lines) {
        for (int i = 0; i < 100 && std::count(r.out.begin(), r.out.end(), ':') <= long(prompts); ++i)
            readSome(100);
        ++prompts;
        const std::string typed = line + "\n";
        EXPECT_EQ(::write(master, typed.data(), typed.size()), ssize_t(typed.size()));
    }
    while (readSome(5000)) {
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(master);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

TEST_F(ProgramTest, PasswordCommandAsksTwiceOnATerminalWithoutEcho) {
    Result r = typeOnTerminal(args({}), {"s3cret pass", "s3cret pass"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Password: "), std::string::npos);
    EXPECT_NE(r.out.find("Password again: "), std::string::npos);
    EXPECT_EQ(r.out.find("s3cret"), std::string::npos) << "echoed: " << r.out;
    const auto at = r.out.find("ENCRT1:");
    ASSERT_NE(at, std::string::npos);
    const std::string stored = r.out.substr(at, r.out.find_first_of("\r\n", at) - at);
    EXPECT_EQ(common::fnDecryptPassword(configDir, stored), "s3cret pass");

    r = typeOnTerminal(args({}), {"s3cret pass", "s3cret pas"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.find("ENCRT1:"), std::string::npos);
    EXPECT_NE(r.out.find("differ"), std::string::npos);
}

// A process that cannot be dumped: its /proc files belong to root, not to its user, so neither a
// core file nor a debugger running as that user reads the password out of its memory.
TEST_F(ProgramTest, ProgramsCannotBeDumped) {
    // As root every /proc file belongs to root anyway: the programs then run as nobody.
    const bool asRoot = ::getuid() == 0;
    const uid_t user = asRoot ? 65534 : ::getuid();
    fs::permissions(tmp.path(), fs::perms::all);
    fs::permissions(configDir, fs::perms::all);
    fs::permissions(configDir / "MSDE_DBTOOL.INI", fs::perms::all);
    for (const char* program : {ENCRT_APP_EXE, ENCRT_PASSWORD_EXE}) {
        QProcess p;
        if (asRoot)
            p.setChildProcessModifier([] {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
            });
        start(p, program, args(program == std::string(ENCRT_APP_EXE) ? QStringList{"--headless"} : QStringList{}));
        const std::string status = "/proc/" + std::to_string(p.processId()) + "/status";
        struct stat st {};
        for (int i = 0; i < 100 && ::stat(status.c_str(), &st) == 0 && st.st_uid == user; ++i)
            QThread::msleep(50);
        EXPECT_EQ(p.state(), QProcess::Running) << program;
        EXPECT_NE(st.st_uid, user) << program;
        p.kill();
        p.waitForFinished(5000);
    }
}

} // namespace
