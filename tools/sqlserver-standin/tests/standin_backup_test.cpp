// master..SSP_BackUPDB through FreeTDS ODBC: the copy it writes, the time it stamps, its refusals.

#include "standin_server.h"
#include "support/standin_backup_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testsupport::OdbcResult;
using testsupport::OdbcSession;
using testsupport::StandinOptions;
using testsupport::StandinServer;

constexpr const char* kRunTime = "2026/12/03 02:00:00";

std::string backupCall(const std::string& database, const fs::path& file, const std::string& kind,
                       const std::string& runTime = kRunTime) {
    return "master..SSP_BackUPDB '" + database + "', '" + file.string() + "', '" + kind + "', 'label', '" + runTime +
           "'";
}

std::time_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900, tm.tm_mon = month - 1, tm.tm_mday = day;
    tm.tm_hour = hour, tm.tm_min = minute, tm.tm_sec = second, tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// The rows of the database image the backup file carries after its header.
std::vector<std::string> namesInBackup(const fs::path& file) {
    sqlite3* db = testsupport::openStandinBackupImage(file);
    std::vector<std::string> names;
    sqlite3_stmt* stmt = nullptr;
    // The column carries the server's collation, which a plain SQLite connection does not know.
    if (db)
        sqlite3_prepare_v2(db, "SELECT name FROM items ORDER BY name COLLATE BINARY", -1, &stmt, nullptr);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW) {
        names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return names;
}

class StandinBackup : public testing::Test {
protected:
    explicit StandinBackup(StandinOptions options = {}) : server(std::move(options)) {
        server.createDatabase("SALES");
        server.execute("CREATE TABLE items (name NVARCHAR(20)); INSERT INTO items VALUES ('りんご'), ('pear')",
                       "SALES");
    }

    void TearDown() override { EXPECT_EQ(server.stop(), 0) << "the server did not end cleanly"; }

    OdbcResult run(const std::string& sql) {
        OdbcSession db(server.connectionString());
        return db.run(sql);
    }

    void expectRefused(const std::string& sql, const std::string& reason, const fs::path& file, long number = 50000) {
        const OdbcResult result = run(sql);
        EXPECT_EQ(result.rc, SQL_ERROR) << sql;
        ASSERT_FALSE(result.diagnostics.empty()) << sql;
        EXPECT_EQ(result.diagnostics[0].native, number);
        EXPECT_THAT(result.diagnostics[0].message, HasSubstr(reason));
        EXPECT_FALSE(fs::exists(file)) << sql;
    }

    StandinServer server;
};

TEST_F(StandinBackup, EveryKindWritesARestorableCopyDatedWithTheRunTime) {
    for (const std::string kind : {"INIT", "DIFF", "LOG"}) {
        const fs::path file = server.scratchDir() / ("SALES_20261203020000_" + kind + ".DAT");
        const OdbcResult result = run(backupCall("SALES", file, kind));
        // Not SQL_NO_DATA: the program treats the call as a command that succeeds. BACKUP's progress
        // messages come as information, as from a real server.
        ASSERT_EQ(result.rc, SQL_SUCCESS_WITH_INFO) << testsupport::describe(result.diagnostics);
        EXPECT_THAT(result.diagnostics.back().message, HasSubstr("The backup set on file 1 is valid."));
        EXPECT_THAT(namesInBackup(file), testing::ElementsAre("pear", "りんご"));
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtime, localTime(2026, 12, 3, 2, 0, 0));
    }
    // Only the backup files themselves are left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(server.scratchDir()), fs::directory_iterator()), 3);
}

TEST_F(StandinBackup, ExecPrefixUnicodeLiteralsAndDoubledQuotesAreAccepted) {
    const fs::path folder = server.scratchDir() / "it's";
    fs::create_directory(folder);
    const fs::path file = folder / "営業.DAT";
    const std::string quotedPath = "it''s/営業.DAT";
    const OdbcResult result = run("EXEC master..SSP_BackUPDB N'sales', N'" + server.scratchDir().string() + "/" +
                                  quotedPath + "', N'INIT', N'完全バックアップ', N'2026/01/31 23:59:58'");
    ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, localTime(2026, 1, 31, 23, 59, 58));
}

TEST_F(StandinBackup, RefusalsSayWhy) {
    const fs::path file = server.scratchDir() / "x.DAT";
    expectRefused(backupCall("NOPE", file, "INIT"), "Database 'NOPE' does not exist", file);
    expectRefused(backupCall("SALES", file, "FULL"), "Unknown backup kind 'FULL'", file);
    expectRefused(backupCall("SALES", file, "INIT", "2026-12-03 02:00"), "is not in the form", file);
    const fs::path missing = server.scratchDir() / "missing" / "x.DAT";
    expectRefused(backupCall("SALES", missing, "INIT"), "Operating system error 3", missing, 3201);

    const fs::path locked = server.scratchDir() / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    expectRefused(backupCall("SALES", locked / "x.DAT", "INIT"), "Operating system error 5(Access is denied.)",
                  locked / "x.DAT", 3201);
    fs::permissions(locked, fs::perms::owner_all);

    const OdbcResult tooFew = run("master..SSP_BackUPDB 'SALES', '" + file.string() + "'");
    EXPECT_EQ(tooFew.rc, SQL_ERROR);
    EXPECT_THAT(tooFew.diagnostics.at(0).message, HasSubstr("expects parameter '@Kind'"));
    EXPECT_THAT(run("EXEC master..sp_nothing 'x'").diagnostics.at(0).message,
                HasSubstr("Could not find stored procedure 'sp_nothing'"));
}

class FailingBackup : public StandinBackup {
protected:
    FailingBackup() : StandinBackup(StandinOptions{{"SALES"}}) {}
};

TEST_F(FailingBackup, NamedDatabaseIsRefusedOthersAreNot) {
    const fs::path file = server.scratchDir() / "SALES.DAT";
    expectRefused(backupCall("SALES", file, "INIT"), "Backup of database 'SALES' failed", file);
    EXPECT_TRUE(run(backupCall("master", server.scratchDir() / "MASTER.DAT", "INIT")).ok());
}

} // namespace

// OBJECT_ID as catalogue checks use it: an id for an object that is there, NULL (never an error)
// for a name the server does not know, also in a database that does not exist.
TEST_F(StandinBackup, ObjectIdFindsTheProcedureAndTablesAndNothingElse) {
    const auto idOf = [this](const std::string& arguments) {
        const OdbcResult result = run("SELECT OBJECT_ID(" + arguments + ") AS id");
        EXPECT_EQ(result.rc, SQL_SUCCESS) << arguments;
        return result.rows.empty() ? std::optional<std::string>("no row") : result.rows.at(0).at(0);
    };
    EXPECT_NE(idOf("N'master.dbo.SSP_BackUPDB'"), std::nullopt);
    EXPECT_NE(idOf("'master..ssp_backupdb', 'P'"), std::nullopt);
    EXPECT_NE(idOf("N'SALES.dbo.items'"), std::nullopt);
    EXPECT_NE(idOf("N'SALES..items', N'U'"), std::nullopt);
    for (const char* unknown : {"N'master.dbo.SSP_BackUPDB', N'U'", "N'SALES..items', N'P'", "N'SALES..nothing'",
                                "N'nowhere..items'", "N'SALES..SSP_BackUPDB'"})
        EXPECT_EQ(idOf(unknown), std::nullopt) << unknown;
}

class WithoutProcedure : public StandinBackup {
protected:
    WithoutProcedure()
        : StandinBackup(StandinOptions{{}, std::chrono::milliseconds(15000), {"--without-backup-procedure"}}) {}
};

TEST_F(WithoutProcedure, ItIsNeitherFoundNorRun) {
    EXPECT_EQ(run("SELECT OBJECT_ID(N'master.dbo.SSP_BackUPDB') AS id").rows.at(0).at(0), std::nullopt);
    const OdbcResult call = run(backupCall("SALES", server.scratchDir() / "x.DAT", "INIT"));
    EXPECT_EQ(call.rc, SQL_ERROR);
    EXPECT_EQ(call.diagnostics.at(0).native, 2812);
}
