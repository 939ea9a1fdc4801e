// --setup as an administrator meets it on a fresh machine: the dialogue on a terminal and its
// option form against a running server, the files they leave, a backup made with them at once,
// and the first start of a folder nobody set up.

#include "common/password.h"
#include "core/setup_state.h"
#include "platform/codepage.h"
#include "platform/ui_sink.h"
#include "standin_server.h"
#include "support/temp_dir.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;

struct Finished {
    int status = -1;
    std::string out, err;
};

// The program on a pseudo-terminal, answered as a person answers: each line once its question
// has appeared.
class Terminal {
public:
    explicit Terminal(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{ENCRT_APP_EXE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            std::vector<char*> raw;
            for (auto& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            ::execv(raw[0], raw.data());
            ::_exit(127);
        }
    }
    ~Terminal() {
        if (pid_ > 0 && status_ < 0)
            ::kill(pid_, SIGKILL), finish();
        ::close(master_);
    }

    // Waits for `text` in what the program wrote since the last answer.
    void expect(const std::string& text) {
        for (int i = 0; i < 300 && output_.find(text, consumed_) == std::string::npos; ++i)
            readSome(100);
        const auto at = output_.find(text, consumed_);
        ASSERT_NE(at, std::string::npos) << "no \"" << text << "\" in:\n" << output_.substr(consumed_);
        consumed_ = at + text.size();
    }
    // Waits for `question`, then types `line`.
    void answer(const std::string& question, const std::string& line) {
        expect(question);
        const std::string typed = line + "\n";
        ASSERT_EQ(::write(master_, typed.data(), typed.size()), ssize_t(typed.size()));
    }

    Finished finish() {
        while (readSome(20000)) {
        }
        int status = 0;
        ::waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        return {status_, output_, {}};
    }

private:
    bool readSome(int timeoutMs) {
        pollfd pfd{master_, POLLIN, 0};
        char buf[1024];
        if (::poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0)
            return false;
        output_.append(buf, std::size_t(n));
        return true;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    std::string output_;
    std::size_t consumed_ = 0;
};

class SetUpSite : public testing::Test {
protected:
    explicit SetUpSite(testsupport::StandinOptions options = {}) : server(std::move(options)) {
        server.createDatabase("SABRELUND");
        server.loadProductSchema("SABRELUND");
        server.createDatabase("SALES");
    }

    std::string serverName() const { return "127.0.0.1," + std::to_string(server.port()); }

    Finished run(const QStringList& arguments, const QByteArray& input = {}) const {
        QProcess p;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("suppressions=" ENCRT_LSAN_SUPPRESSIONS));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ENCRT_APP_EXE),
                QStringList{"--config-dir", QString::fromStdString(config.string())} + arguments);
        EXPECT_TRUE(p.waitForStarted(5000));
        p.write(input);
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(60000));
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }

    // The written settings make a full backup at once, as the set-up's try-out line says.
    void expectABackupNow() const {
        const Finished tick = run({"--headless", "--clock", "2026/12/03 02:00:00", "--tick-once"});
        EXPECT_EQ(tick.status, 0);
        EXPECT_EQ(tick.err, "");
        for (const char* file : {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261203020000_INIT.DAT",
                                 "MASTER_20261203020000_INIT.DAT"})
            EXPECT_TRUE(fs::exists(backup / file)) << file;
    }

    std::vector<std::string> optionAnswers() const {
        return {"--setup",   "--server",        serverName(),    "--login",    server.user(), "--password-file",
                "-",         "--database",      "SABRELUND",     "--database", "SALES",       "--product-database",
                "SABRELUND", "--backup-folder", backup.string(), "--full",     "daily 02:00"};
    }
    static QStringList qt(const std::vector<std::string>& list) {
        QStringList out;
        for (const auto& s : list)
            out << QString::fromStdString(s);
        return out;
    }

    testsupport::StandinServer server;
    testsupport::TempDir tmp;
    fs::path config = tmp / "config", backup = tmp / "backup";
};

TEST_F(SetUpSite, TheDialogueOnATerminalWritesSettingsThatBackUpAtOnce) {
    Terminal t({"--setup", "--config-dir", config.string()});
    t.answer("SQL Server (host, host,port or host\\instance) [(local)]: ", serverName());
    t.answer("SQL Server login: ", server.user());
    t.answer("Password: ", "wrong password");
    t.answer("Password again: ", "wrong password");
    t.expect("Login failed for user 'standin'.");
    t.answer("Try again? (y/n) [y]: ", "");
    t.answer("[" + serverName() + "]: ", "");
    t.answer("SQL Server login [" + server.user() + "]: ", "");
    t.answer("Password: ", server.password());
    t.answer("Password again: ", server.password());
    t.expect("  1) SABRELUND\r\n  2) SALES\r\n");
    t.answer("Product database, which holds its lock table (number or name) [1]: ", "SABRELUND");
    t.answer("Databases to back up (numbers or names, separated by blanks) [SABRELUND]: ", "1 2 7");
    t.expect("Give numbers or names from the list.");
    t.answer("[SABRELUND]: ", "1,2");
    t.answer("Product folder (ZUZOR.INI [SABRELUND] PATH; Enter leaves it unset): ", "");
    t.answer("Technical-documents folder", "");
    t.answer("Local backup folder (an absolute path on a local fixed disk): ", backup.string());
    t.answer("does not exist. Create it? (y/n) [y]: ", "");
    t.answer("Full backup: weekdays (e.g. sun, mon-fri, daily) [sun]: ", "someday");
    t.answer("Give at least one weekday.\r\nFull backup: weekdays (e.g. sun, mon-fri, daily) [sun]: ", "daily");
    t.answer("Full backup: time (hh:mm) [02:00]: ", "2:00");
    t.answer("Differential backup: weekdays (e.g. sun, mon-fri, daily, none) [none]: ", "");
    t.answer("Transaction-log backup: weekdays (e.g. sun, mon-fri, daily, none) [none]: ", "");
    t.answer("Days to keep local backups (1-999) [30]: ", "");
    t.answer("(a mounted share or disk)? (y/n) [n]: ", "");
    t.answer("Days to keep the product's temporary mail and EDI logs", "");
    t.answer("Write these settings? (y/n) [y]: ", "");
    const Finished r = t.finish();
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find(server.password()), std::string::npos) << "the password was echoed";
    EXPECT_NE(r.out.find("ZUZOR.INI: created"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("they pass the check made before every run"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("master..SSP_BackUPDB: installed."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("What --status says now:\r\nCRITICAL: "), std::string::npos) << r.out;

    const std::string settings = platform::fromCp932(readFile(config / "MSDE_DBTOOL.INI"));
    EXPECT_NE(settings.find("[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() + "\r\n"), std::string::npos)
        << settings;
    EXPECT_NE(settings.find("[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"), std::string::npos) << settings;
    EXPECT_EQ(readFile(config / "ZUZOR.INI"),
              "[DATABASE]\r\nSERVER_NAME=" + serverName() + "\r\nDB_NAME=SABRELUND\r\n");
    expectABackupNow();
}

TEST_F(SetUpSite, TheOptionFormNeedsNoTerminalAndChangesNothingWhenTheLoginFails) {
    Finished r = run(qt(optionAnswers()), "not the password\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Login failed for user 'standin'."), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(config / "MSDE_DBTOOL.INI"));
    EXPECT_FALSE(fs::exists(config / "ZUZOR.INI"));

    r = run(qt(optionAnswers()), QByteArray::fromStdString(server.password() + "\n"));
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("Created the backup folder"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("master..SSP_BackUPDB: installed."), std::string::npos) << r.out;
    expectABackupNow();

    // Again without a password: the stored one is kept and still logs in.
    const std::string stored = readFile(config / "MSDE_DBTOOL.INI");
    std::vector<std::string> again = optionAnswers();
    again.erase(again.begin() + 5, again.begin() + 7);
    r = run(qt(again));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(config / "MSDE_DBTOOL.INI"), stored);

    // Without answers and without a terminal there is nobody to ask.
    r = run({"--setup"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--setup --help"), std::string::npos) << r.err;
}

TEST_F(SetUpSite, AFolderNobodySetUpSaysWhatIsMissingAndHowToSetItUp) {
    fs::create_directories(config);
    const Finished r = run({"--headless", "--clock", "2026/12/03 03:00:00", "--tick-once"});
    EXPECT_EQ(r.status, 0);
    const std::string command = "encrt-schedule-backup --setup --config-dir " + fs::canonical(config).string();
    const std::vector<std::string> missing{"ZUZOR.INI", "MSDE_DBTOOL.INI [(local)] USER_NAME",
                                           "MSDE_DBTOOL.INI [(local)] PASSWORD"};
    EXPECT_EQ(r.err, "NOTICE\t" + std::string(core::kSetupNoticeTitle) + "\t" +
                         platform::HeadlessUiSink::escape(core::setupNoticeText(missing, command)) + "\n");
}

class WithoutProcedure : public SetUpSite {
protected:
    WithoutProcedure() : SetUpSite({.extraArguments = {"--without-backup-procedure"}}) {}
};

TEST_F(WithoutProcedure, TheSetUpPrintsTheCommandThatInstallsIt) {
    const Finished r = run(qt(optionAnswers()), QByteArray::fromStdString(server.password() + "\n"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("master..SSP_BackUPDB is missing, or standin may not run it."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("  sqlcmd -C -S 127.0.0.1," + std::to_string(server.port()) + " -U sa -d master -i /"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("GRANT EXECUTE ON dbo.SSP_BackUPDB TO standin;"), std::string::npos) << r.out;
}

} // namespace
