// The health check over prepared settings, backup folders and clocks.

#include "core/last_run.h"
#include "platform/local_filesystem.h"
#include "status/due_times.h"
#include "status/health.h"
#include "status/lock_probe.h"
#include "status/report_format.h"
#include "support/temp_dir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <cctype>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::makeLocalTime;
using status::State;

const std::vector<std::string> kFullBoth = {"SABRELUND/SABRELUND_20261203020000_INIT.DAT",
                                            "SALES/SALES_20261203020000_INIT.DAT"};

class StatusTest;

struct Case {
    const char* name;
    std::string extraIni; // put before the settings (a section read first wins): every day a full backup at 02:00
    std::vector<std::string> files;
    platform::LocalTime clock;
    int grace;
    State state;
    std::string firstLine;
    std::function<void(StatusTest&)> arrange = {}; // what else the case needs
};

class StatusTest : public ::testing::TestWithParam<Case> {
public:
    status::Report check(const Case& c) {
        testsupport::writeFile(config / "msde_dbtool.ini",
                               c.extraIni + "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                                   "\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"
                                   "[FILE_COPY]\r\nEXECUTE=0\r\n[(local)]\r\nUSER_NAME=backup\r\n"
                                   "[BACKUPTIME]\r\nSTART=2026/12/03 02:00:00\r\nEND=2026/12/03 02:00:07\r\n");
        testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=(local)\r\n");
        for (const std::string& f : c.files)
            testsupport::writeFile(backup / f, "backup");
        fs::create_directories(backup);
        if (c.arrange)
            c.arrange(*this);
        return status::checkHealth({config, c.clock, c.grace, residentRunning}, platform::LocalFileSystem());
    }
    // Copies of `copies` (relative to the backup folder) in the external folder.
    void copyingTo(const std::vector<std::string>& copies) const {
        for (const auto& f : copies)
            testsupport::writeFile(ext / f, "backup");
    }

    testsupport::TempDir tmp;
    fs::path config = tmp / "config", backup = tmp / "backup", ext = tmp / "ext";
    bool residentRunning = true;
};

std::string copyingOn(const fs::path& ext) {
    return "[FILE_COPY]\r\nEXECUTE=1\r\nDBBACKUPFILE_DIR=" + ext.string() + "\r\nKEYFILE_DIR=" + ext.string() +
           "\r\nGIJYUTUFILE_DIR=" + ext.string() + "\r\nOutSidePreserveTerm=60\r\n";
}

// 2026/12/03 is a Thursday.
const auto k0300 = makeLocalTime(2026, 12, 3, 3, 0, 0);
const Case kCases[] = {
    {"an hour after the full backup", "", kFullBoth, k0300, 60, State::Ok,
     "OK: backups of 2 databases made as scheduled (grace 60 minutes) | 'SABRELUND full age'=3600s;;;0 "
     "'SABRELUND full size'=6B;;;0 'SALES full age'=3600s;;;0 'SALES full size'=6B;;;0"},
    {"within the grace the previous due time counts", "", kFullBoth, makeLocalTime(2026, 12, 4, 2, 59, 0), 60,
     State::Ok, "OK: "},
    {"one full backup missed", "", kFullBoth, makeLocalTime(2026, 12, 4, 3, 0, 0), 60, State::Warning,
     "WARNING: SABRELUND: no full backup for the due time 2026/12/04 02:00:00; the newest is of 2026/12/03 "
     "02:00:00 (and 1 more problem)"},
    {"no grace", "", kFullBoth, makeLocalTime(2026, 12, 4, 2, 0, 30), 0, State::Warning, "WARNING: SABRELUND: "},
    {"two full backups missed", "", kFullBoth, makeLocalTime(2026, 12, 5, 3, 0, 0), 60, State::Critical,
     "CRITICAL: SABRELUND: no full backup for the due times 2026/12/04 02:00:00 and 2026/12/05 02:00:00"},
    {"a database never backed up; look-alike names do not count",
     "",
     {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261303020000_INIT.DAT",
      "SALES/SALES_2026120302000_INIT.DAT", "SALES/SALES_20261203020000_INIT.BAK",
      "SALES/SALESX_20261203020000_INIT.DAT", "SALES_20261203020000_INIT.DAT"},
     k0300,
     60,
     State::Critical,
     "CRITICAL: SALES: no full backup at all"},
    {"an empty file is no backup", "", kFullBoth, k0300, 60, State::Critical, "CRITICAL: SALES: no full backup at all",
     [](StatusTest& t) { testsupport::writeFile(t.backup / kFullBoth[1], ""); }},
    {"a weekday log backup missed",
     "[ScheduleLOG]\r\nDay=31\r\nTime=12:30\r\n",
     {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261203020000_INIT.DAT",
      "SABRELUND/SABRELUND_20261203123000_LOG.DAT", "SALES/SALES_20261202123000_LOG.DAT"},
     makeLocalTime(2026, 12, 3, 14, 0, 0),
     60,
     State::Warning,
     "WARNING: SALES: no log backup for the due time 2026/12/03 12:30:00; the newest is of 2026/12/02 12:30:00"},
    {"a backup made under a clock a year ahead is no fresh backup",
     "",
     {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SABRELUND/SABRELUND_20271204020000_INIT.DAT",
      "SALES/SALES_20261204020000_INIT.DAT"},
     makeLocalTime(2026, 12, 4, 3, 0, 0),
     60,
     State::Warning,
     "WARNING: SABRELUND: the backup SABRELUND_20271204020000_INIT.DAT is stamped after this machine's clock "
     "(2026/12/04 03:00:00)"},
    {"a time the pre-run check refuses", "[ScheduleDiff]\r\nDay=2\r\nTime=9:00\r\n", kFullBoth, k0300, 60,
     State::Critical, "CRITICAL: MSDE_DBTOOL.INI: 差分バックアップスケジュール(時刻)の設定が正しくありません。"},
    {"copying on without a target", "[FILE_COPY]\r\nEXECUTE=1\r\n", kFullBoth, k0300, 60, State::Critical,
     "CRITICAL: MSDE_DBTOOL.INI: DBバックアップファイル　コピー先フォルダの設定が正しくありません。"},
    {"the resident program is not running", "", kFullBoth, k0300, 60, State::Warning,
     "WARNING: no resident copy runs for ", [](StatusTest& t) { t.residentRunning = false; }},
    {"no flawless run ever recorded", "[BACKUPTIME]\r\nSTART=\r\n", kFullBoth, k0300, 60, State::Warning,
     "WARNING: no flawless run recorded ([BACKUPTIME] START)"},
    {"no flawless run after the two latest full due times", "[BACKUPTIME]\r\nSTART=2026/12/01 02:00:00\r\n", kFullBoth,
     k0300, 60, State::Warning,
     "WARNING: the last flawless run ([BACKUPTIME]) started 2026/12/01 02:00:00, before the full backups due "
     "2026/12/02 02:00:00 and 2026/12/03 02:00:00"},
    {"a settings folder never set up",
     "",
     {},
     k0300,
     60,
     State::Critical,
     "CRITICAL: not set up: ",
     [](StatusTest& t) { fs::remove(t.config / "msde_dbtool.ini"); }},
    {"no ZUZOR.INI", "", kFullBoth, k0300, 60, State::Critical,
     "CRITICAL: ", [](StatusTest& t) { fs::remove(t.config / "ZUZOR.INI"); }},
    {"eleven databases, their names longer than 127 bytes in all",
     "[Schedule]\r\nDb=DATABASE_01\tDATABASE_02\tDATABASE_03\tDATABASE_04\tDATABASE_05\tDATABASE_06\tDATABASE_07\t"
     "DATABASE_08\tDATABASE_09\tDATABASE_10\tDATABASE_11\r\nPath=@\r\n",
     {},
     k0300,
     60,
     State::Critical,
     "CRITICAL: DATABASE_11: no full backup at all | 'DATABASE_01 full age'",
     [](StatusTest& t) {
         // Path=@ stands for the backup folder; every name but the last has its backup.
         auto ini = testsupport::readFile(t.config / "msde_dbtool.ini");
         ini.replace(ini.find("Path=@"), 6, "Path=" + t.backup.string());
         testsupport::writeFile(t.config / "msde_dbtool.ini", ini);
         for (int i = 1; i <= 10; ++i) {
             const std::string db = std::string("DATABASE_") + (i < 10 ? "0" : "") + std::to_string(i);
             testsupport::writeFile(t.backup / db / (db + "_20261203020000_INIT.DAT"), "backup");
         }
     }},
    {"copies made", copyingOn("@EXT"), kFullBoth, k0300, 60, State::Ok,
     "OK: ", [](StatusTest& t) { t.copyingTo(kFullBoth); }},
    {"the external medium is not mounted", copyingOn("@EXT"), kFullBoth, k0300, 60, State::Warning,
     "WARNING: the external folder @EXT does not exist (not mounted?)"},
    {"the newest full backup did not reach the external folder", copyingOn("@EXT"), kFullBoth, k0300, 60,
     State::Warning,
     "WARNING: SALES: the copy of the newest full backup (2026/12/03 02:00:00) is missing at @EXT/SALES; the last copy "
     "is of 2026/12/01 02:00:00, 2 days ago",
     [](StatusTest& t) {
         t.copyingTo({kFullBoth[0], "SALES/SALES_20261201020000_INIT.DAT"});
     }},
    {"a copy cut short", copyingOn("@EXT"), kFullBoth, k0300, 60, State::Warning,
     "WARNING: SABRELUND: the copy of the newest full backup (2026/12/03 02:00:00) differs in size at @EXT/SABRELUND",
     [](StatusTest& t) {
         t.copyingTo(kFullBoth);
         testsupport::writeFile(t.ext / kFullBoth[0], "bac");
     }},
    {"the last run could not read a folder", "", kFullBoth, k0300, 60, State::Warning,
     "WARNING: the last run (2026/12/03 02:00:00) could not read /backup/lost+found",
     [](StatusTest& t) {
         testsupport::writeFile(core::lastRunPath(t.config),
                                "\xEF\xBB\xBF[LastRun]\r\nSTART=2026/12/03 02:00:00\r\nEND=2026/12/03 02:00:09\r\n"
                                "RESULT=flawless\r\nUNREADABLE=/backup/lost+found\r\n");
     }},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// "@EXT" in a case stands for the external folder of the test.
std::string withFolders(std::string text, const fs::path& ext) {
    for (std::size_t at; (at = text.find("@EXT")) != std::string::npos;)
        text.replace(at, 4, ext.string());
    return text;
}

TEST_P(StatusTest, StateAndFirstLine) {
    Case c = GetParam();
    c.extraIni = withFolders(c.extraIni, ext);
    const status::Report r = check(c);
    EXPECT_EQ(r.state, c.state) << status::formatText(r);
    const std::string text = status::formatText(r);
    const std::string firstLine = withFolders(c.firstLine, ext);
    EXPECT_EQ(text.substr(0, text.find('\n')).substr(0, firstLine.size()), firstLine) << text;
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r)));
    ASSERT_TRUE(json.isObject());
    EXPECT_EQ(json[QStringLiteral("state")].toString().toStdString(), status::stateName(c.state));
    EXPECT_EQ(json[QStringLiteral("exit_status")].toInt(), int(c.state));
    const std::string metrics = status::formatMetrics(r);
    EXPECT_NE(metrics.find("\nencrt_status " + std::to_string(int(c.state)) + "\n"), std::string::npos) << metrics;
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

TEST_F(StatusTest, JsonAndMetricsCarryTheFacts) {
    Case c = kCases[0];
    c.extraIni = copyingOn(ext);
    c.files.push_back("SALES/SALES_20261202020000_INIT.DAT");
    c.arrange = [](StatusTest& t) { t.copyingTo(kFullBoth); };
    const status::Report r = check(c);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r))).object();
    EXPECT_EQ(o[QStringLiteral("checked_at")].toString(), QStringLiteral("2026-12-03T03:00:00+09:00"));
    EXPECT_EQ(o[QStringLiteral("last_flawless_run")][QStringLiteral("end")].toString(),
              QStringLiteral("2026-12-03T02:00:07+09:00"));
    const QJsonObject full = o[QStringLiteral("schedules")].toArray()[0].toObject();
    EXPECT_EQ(full[QStringLiteral("last_due")].toString(), QStringLiteral("2026-12-03T02:00:00+09:00"));
    EXPECT_EQ(full[QStringLiteral("next_due")].toString(), QStringLiteral("2026-12-04T02:00:00+09:00"));
    EXPECT_FALSE(o[QStringLiteral("schedules")].toArray()[1][QStringLiteral("scheduled")].toBool());
    const QJsonObject sales = o[QStringLiteral("databases")].toArray()[1].toObject();
    EXPECT_EQ(sales[QStringLiteral("name")].toString(), QStringLiteral("SALES"));
    const QJsonObject newest = sales[QStringLiteral("local")][QStringLiteral("INIT")].toObject();
    EXPECT_EQ(newest[QStringLiteral("time")].toString(), QStringLiteral("2026-12-03T02:00:00+09:00"));
    EXPECT_EQ(newest[QStringLiteral("size")].toInt(), 6);
    EXPECT_EQ(newest[QStringLiteral("file")].toString().toStdString(),
              (backup / "SALES/SALES_20261203020000_INIT.DAT").string());
    EXPECT_TRUE(sales[QStringLiteral("local")][QStringLiteral("LOG")].isNull());
    EXPECT_EQ(sales[QStringLiteral("newest_full_copy")].toString(), QStringLiteral("copied"));

    const std::string metrics = status::formatMetrics(r);
    for (const char* sample : {
             "encrt_backup_age_seconds{database=\"SALES\",kind=\"full\",place=\"local\"} 3600\n",
             "encrt_backup_size_bytes{database=\"SALES\",kind=\"full\",place=\"external\"} 6\n",
             "encrt_backup_copied{database=\"SABRELUND\"} 1\n",
             "encrt_resident_running 1\n",
         })
        EXPECT_NE(metrics.find(sample), std::string::npos) << sample << metrics;
}

TEST(Status, AFolderThatCannotBeReadIsUnknownInEveryForm) {
    testsupport::TempDir tmp;
    const status::Report r = status::checkHealth({tmp / "missing", makeLocalTime(2026, 12, 3, 3, 0, 0), 60, false},
                                                 platform::LocalFileSystem());
    EXPECT_EQ(r.state, State::Unknown);
    EXPECT_EQ(status::formatText(r).rfind("UNKNOWN: cannot read the settings folder " + (tmp / "missing").string(), 0),
              0u);
    EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r))).isObject());
    EXPECT_NE(status::formatMetrics(status::unknownReport("no such folder")).find("\nencrt_status 3\n"),
              std::string::npos);
}

TEST(Status, DueTimesOfAWeeklySchedule) {
    const core::Schedule monday = core::scheduleFromTexts("1", "02:00");
    const auto thursday = makeLocalTime(2026, 12, 3, 3, 0, 0);
    EXPECT_EQ(status::lastDueAtOrBefore(monday, thursday), makeLocalTime(2026, 11, 30, 2, 0, 0));
    EXPECT_EQ(status::nextDueAfter(monday, thursday), makeLocalTime(2026, 12, 7, 2, 0, 0));
    const auto dueMinute = makeLocalTime(2026, 12, 7, 2, 0, 0);
    EXPECT_EQ(status::lastDueAtOrBefore(monday, dueMinute), dueMinute);
    EXPECT_EQ(status::nextDueAfter(monday, dueMinute), makeLocalTime(2026, 12, 14, 2, 0, 0));
    EXPECT_EQ(status::lastDueAtOrBefore(core::scheduleFromTexts("NON", "NON"), thursday), std::nullopt);
}

TEST(Status, ALockIsSeenWithoutTakingIt) {
    testsupport::TempDir tmp;
    const fs::path lock = tmp / "lock";
    EXPECT_FALSE(status::lockHeld(lock));
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(status::lockHeld(lock));
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(status::lockHeld(lock));
    ::close(fd);
    EXPECT_FALSE(status::lockHeld(lock));
    // A request still waiting holds nothing; the device must match as well as the inode.
    EXPECT_FALSE(status::lockListed("1: -> FLOCK  ADVISORY  WRITE 9 fe:00:77 0 EOF\n", makedev(0xfe, 0), 77));
    EXPECT_FALSE(status::lockListed("1: FLOCK  ADVISORY  WRITE 9 fe:01:77 0 EOF\n", makedev(0xfe, 0), 77));
    EXPECT_TRUE(status::lockListed("2: POSIX  ADVISORY  WRITE 9 fe:00:77 0 EOF\n", makedev(0xfe, 0), 77));
}

} // namespace
