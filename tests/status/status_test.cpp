// The health check over prepared settings, backup folders and clocks.

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
#include <sys/file.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::makeLocalTime;
using status::State;

const std::vector<std::string> kFullBoth = {"SABRELUND/SABRELUND_20261203020000_INIT.DAT",
                                            "SALES/SALES_20261203020000_INIT.DAT"};

struct Case {
    const char* name;
    std::string extraIni; // put before the settings (a section read first wins): every day a full backup at 02:00
    std::vector<std::string> files;
    platform::LocalTime clock;
    int grace;
    State state;
    std::string firstLine;
};

// 2026/12/03 is a Thursday.
const Case kCases[] = {
    {"an hour after the full backup", "", kFullBoth, makeLocalTime(2026, 12, 3, 3, 0, 0), 60, State::Ok,
     "OK: backups of 2 databases made as scheduled (grace 60 minutes)"},
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
     makeLocalTime(2026, 12, 3, 3, 0, 0),
     60,
     State::Critical,
     "CRITICAL: SALES: no full backup at all"},
    {"a weekday log backup missed",
     "[ScheduleLOG]\r\nDay=31\r\nTime=12:30\r\n",
     {"SABRELUND/SABRELUND_20261203020000_INIT.DAT", "SALES/SALES_20261203020000_INIT.DAT",
      "SABRELUND/SABRELUND_20261203123000_LOG.DAT", "SALES/SALES_20261202123000_LOG.DAT"},
     makeLocalTime(2026, 12, 3, 14, 0, 0),
     60,
     State::Warning,
     "WARNING: SALES: no log backup for the due time 2026/12/03 12:30:00; the newest is of 2026/12/02 12:30:00"},
    {"a time the pre-run check refuses", "[ScheduleDiff]\r\nDay=2\r\nTime=9:00\r\n", kFullBoth,
     makeLocalTime(2026, 12, 3, 3, 0, 0), 60, State::Critical,
     "CRITICAL: MSDE_DBTOOL.INI: 差分バックアップスケジュール(時刻)の設定が正しくありません。"},
    {"copying on without a target", "[FILE_COPY]\r\nEXECUTE=1\r\n", kFullBoth, makeLocalTime(2026, 12, 3, 3, 0, 0), 60,
     State::Critical, "CRITICAL: MSDE_DBTOOL.INI: DBバックアップファイル　コピー先フォルダの設定が正しくありません。"},
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class StatusTest : public ::testing::TestWithParam<Case> {
protected:
    status::Report check(const Case& c) {
        testsupport::writeFile(config / "msde_dbtool.ini",
                               c.extraIni + "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                                   "\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n"
                                   "[FILE_COPY]\r\nEXECUTE=0\r\n");
        for (const std::string& f : c.files)
            testsupport::writeFile(backup / f, "backup");
        fs::create_directories(backup);
        return status::checkHealth({config, c.clock, c.grace, false}, platform::LocalFileSystem());
    }

    testsupport::TempDir tmp;
    fs::path config = tmp / "config", backup = tmp / "backup";
};

TEST_P(StatusTest, StateAndFirstLine) {
    const Case& c = GetParam();
    const status::Report r = check(c);
    EXPECT_EQ(r.state, c.state);
    const std::string text = status::formatText(r);
    EXPECT_EQ(text.substr(0, text.find('\n')).substr(0, c.firstLine.size()), c.firstLine);
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r)));
    ASSERT_TRUE(json.isObject());
    EXPECT_EQ(json[QStringLiteral("state")].toString().toStdString(), status::stateName(c.state));
    EXPECT_EQ(json[QStringLiteral("exit_status")].toInt(), int(c.state));
}

INSTANTIATE_TEST_SUITE_P(Cases, StatusTest, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

TEST_F(StatusTest, JsonCarriesTheFacts) {
    Case c = kCases[0];
    c.extraIni = "[BACKUPTIME]\r\nSTART=2026/12/03 02:00:00\r\nEND=2026/12/03 02:00:07\r\n";
    c.files.push_back("SALES/SALES_20261202020000_INIT.DAT");
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(check(c)))).object();
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
    EXPECT_EQ(newest[QStringLiteral("file")].toString().toStdString(),
              (backup / "SALES/SALES_20261203020000_INIT.DAT").string());
    EXPECT_TRUE(sales[QStringLiteral("local")][QStringLiteral("LOG")].isNull());
    EXPECT_TRUE(sales[QStringLiteral("external")].isNull());
}

TEST(Status, AFolderThatCannotBeReadIsUnknown) {
    testsupport::TempDir tmp;
    const status::Report r = status::checkHealth({tmp / "missing", makeLocalTime(2026, 12, 3, 3, 0, 0), 60, false},
                                                 platform::LocalFileSystem());
    EXPECT_EQ(r.state, State::Unknown);
    EXPECT_EQ(status::formatText(r).rfind("UNKNOWN: cannot read the settings folder " + (tmp / "missing").string(), 0),
              0u);
    EXPECT_TRUE(QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r))).isObject());
}

TEST(Status, DueTimesOfAWeeklySchedule) {
    const status::Schedule monday{"1", "02:00"};
    const auto thursday = makeLocalTime(2026, 12, 3, 3, 0, 0);
    EXPECT_EQ(status::lastDueAtOrBefore(monday, thursday), makeLocalTime(2026, 11, 30, 2, 0, 0));
    EXPECT_EQ(status::nextDueAfter(monday, thursday), makeLocalTime(2026, 12, 7, 2, 0, 0));
    const auto dueMinute = makeLocalTime(2026, 12, 7, 2, 0, 0);
    EXPECT_EQ(status::lastDueAtOrBefore(monday, dueMinute), dueMinute);
    EXPECT_EQ(status::nextDueAfter(monday, dueMinute), makeLocalTime(2026, 12, 14, 2, 0, 0));
    EXPECT_EQ(status::lastDueAtOrBefore({"NON", "NON"}, thursday), std::nullopt);
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
