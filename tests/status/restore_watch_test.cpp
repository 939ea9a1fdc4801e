// --status and the last restore check: the state file a check leaves, judged by its age and result.

#include "platform/local_filesystem.h"
#include "restore/check_report.h"
#include "status/health.h"
#include "status/report_format.h"
#include "support/temp_dir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;
using platform::makeLocalTime;
using status::State;

restore::CheckReport checkOf(platform::LocalTime started, std::string salesError = {}, std::string cannotRun = {}) {
    restore::CheckReport r;
    r.started = r.finished = started;
    r.cannotRun = std::move(cannotRun);
    if (r.cannotRun.empty()) {
        r.databases.push_back({"SABRELUND", true, {"a.DAT"}, 1.5, 0.25, ""});
        r.databases.push_back({"SALES", salesError.empty(), {"b.DAT", "c.DAT"}, 2.0, 0.5, salesError});
    }
    return r;
}

TEST(StatusOfTheRestoreCheck, FailedIsCriticalOldIsAWarningNeverRunChangesNothing) {
    const auto now = makeLocalTime(2026, 12, 10, 3, 0, 0);
    struct Case {
        const char* name;
        std::optional<restore::CheckReport> last;
        int maxAgeDays;
        State state;
        std::string firstLine;
    };
    const std::vector<Case> cases = {
        {"never run", std::nullopt, 8, State::Ok, "OK: "},
        {"restored two days ago", checkOf(makeLocalTime(2026, 12, 8, 4, 30, 0)), 8, State::Ok, "OK: "},
        {"a chain failed",
         checkOf(makeLocalTime(2026, 12, 8, 4, 30, 0), "/b/SALES/SALES_20261207020000_DIFF.DAT: RESTORE detected"), 8,
         State::Critical,
         "CRITICAL: restore check of 2026/12/08 04:30:00: SALES did not restore: "
         "/b/SALES/SALES_20261207020000_DIFF.DAT: RESTORE detected"},
        {"nine days old", checkOf(makeLocalTime(2026, 12, 1, 2, 0, 0)), 8, State::Warning,
         "WARNING: the last restore check is of 2026/12/01 02:00:00, more than 8 days ago"},
        {"nine days old, ten allowed", checkOf(makeLocalTime(2026, 12, 1, 2, 0, 0)), 10, State::Ok, "OK: "},
        {"could not run", checkOf(makeLocalTime(2026, 12, 9, 4, 30, 0), "", "cannot log in to the server: refused"), 8,
         State::Warning, "WARNING: the restore check of 2026/12/09 04:30:00 did not run: cannot log in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir tmp;
        const fs::path config = tmp / "config", backup = tmp / "backup";
        testsupport::writeFile(config / "MSDE_DBTOOL.INI",
                               "[Schedule]\r\nDb=SABRELUND\tSALES\r\nPath=" + backup.string() +
                                   "\r\n[ScheduleAll]\r\nDay=127\r\nTime=02:00\r\n[FILE_COPY]\r\nEXECUTE=0\r\n"
                                   "[(local)]\r\nUSER_NAME=backup\r\n"
                                   "[BACKUPTIME]\r\nSTART=2026/12/10 02:00:00\r\nEND=2026/12/10 02:00:07\r\n");
        testsupport::writeFile(config / "ZUZOR.INI", "[DATABASE]\r\nSERVER_NAME=(local)\r\n");
        for (const char* f : {"SABRELUND/SABRELUND_20261210020000_INIT.DAT", "SALES/SALES_20261210020000_INIT.DAT"})
            testsupport::writeFile(backup / f, "backup");
        if (c.last) {
            ASSERT_TRUE(restore::writeStateFile(config, *c.last));
        }
        status::Request request{config, now, 60, true};
        request.restoreAgeDays = c.maxAgeDays;
        const status::Report r = status::checkHealth(request, platform::LocalFileSystem());

        EXPECT_EQ(r.state, c.state) << status::formatText(r);
        const std::string text = status::formatText(r);
        EXPECT_EQ(text.rfind(c.firstLine, 0), 0u) << text;
        EXPECT_NE(text.find(c.last ? "restore check: " : "restore check: never run\n"), std::string::npos) << text;

        const std::string metrics = status::formatMetrics(r);
        EXPECT_EQ(metrics.find("encrt_restore_check_status ") != std::string::npos, c.last.has_value()) << metrics;
        if (c.last && c.last->cannotRun.empty()) {
            EXPECT_NE(metrics.find("encrt_restore_check_restore_seconds{database=\"SALES\"} 2.000\n"),
                      std::string::npos)
                << metrics;
        }

        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(status::formatJson(r))).object();
        EXPECT_EQ(o[QStringLiteral("restore_age_days")].toInt(), c.maxAgeDays);
        const QJsonValue check = o[QStringLiteral("restore_check")];
        ASSERT_EQ(check.isNull(), !c.last);
        if (c.last && c.last->cannotRun.empty()) {
            const QJsonArray databases = check[QStringLiteral("databases")].toArray();
            ASSERT_EQ(databases.size(), 2);
            EXPECT_EQ(databases[1][QStringLiteral("restore_seconds")].toDouble(), 2.0);
            EXPECT_EQ(databases[1][QStringLiteral("check_seconds")].toDouble(), 0.5);
            EXPECT_EQ(databases[1][QStringLiteral("result")].toString(),
                      c.last->databases[1].ok ? QStringLiteral("ok") : QStringLiteral("failed"));
            EXPECT_EQ(check[QStringLiteral("time")].toString().left(19),
                      QString::fromStdString(platform::formatDateTime(c.last->started))
                          .replace(QLatin1Char('/'), QLatin1Char('-'))
                          .replace(QLatin1Char(' '), QLatin1Char('T')));
        }
    }
}

} // namespace
