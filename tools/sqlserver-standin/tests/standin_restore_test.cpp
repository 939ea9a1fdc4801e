// Backup chains, RESTORE, DBCC CHECKDB and sys.databases through FreeTDS ODBC, and what the server
// refuses as SQL Server does.

#include "standin_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>

namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;
using testsupport::OdbcResult;
using testsupport::OdbcSession;
using testsupport::StandinServer;

class StandinRestore : public testing::Test {
protected:
    StandinRestore() {
        server.createDatabase("SALES");
        execute("CREATE TABLE items (name NVARCHAR(20)); INSERT INTO items VALUES ('full')", "SALES");
        backup("BACKUP DATABASE SALES TO DISK = N'" + file("full") + "' WITH INIT, CHECKSUM, NAME = N'set'");
        execute("INSERT INTO items VALUES ('diff')", "SALES");
        backup("BACKUP DATABASE SALES TO DISK = N'" + file("diff") + "' WITH DIFFERENTIAL, INIT, CHECKSUM");
        for (const char* log : {"log1", "log2", "log3"}) {
            execute(std::string("INSERT INTO items VALUES ('") + log + "')", "SALES");
            backup("BACKUP LOG SALES TO DISK = N'" + file(log) + "' WITH INIT, CHECKSUM");
        }
    }

    std::string file(const std::string& name) const { return (server.scratchDir() / (name + ".DAT")).string(); }

    OdbcResult run(const std::string& sql, const std::string& database = "master") {
        OdbcSession db(server.connectionString(database));
        return db.run(sql);
    }
    void execute(const std::string& sql, const std::string& database = "master") {
        const OdbcResult result = run(sql, database);
        ASSERT_TRUE(result.ok()) << sql << ": " << testsupport::describe(result.diagnostics);
    }
    void backup(const std::string& sql) { execute(sql); }

    // RESTORE HEADERONLY as column name → value.
    std::map<std::string, std::string> header(const std::string& name) {
        const OdbcResult result = run("RESTORE HEADERONLY FROM DISK = N'" + file(name) + "'");
        std::map<std::string, std::string> values;
        EXPECT_EQ(result.rows.size(), 1u) << testsupport::describe(result.diagnostics);
        for (std::size_t c = 0; c < result.columns.size() && !result.rows.empty(); ++c) {
            values[result.columns[c].name] = result.rows[0][c].value_or("NULL");
        }
        return values;
    }

    std::string restore(const std::string& database, const std::string& name, const std::string& with) {
        return std::string(name.starts_with("log") ? "RESTORE LOG " : "RESTORE DATABASE ") + database +
               " FROM DISK = N'" + file(name) + "' WITH " + with;
    }
    std::string moveTo(const std::string& database) const {
        const fs::path folder = server.scratchDir();
        return "MOVE N'SALES' TO N'" + (folder / (database + ".mdf")).string() + "', MOVE N'SALES_log' TO N'" +
               (folder / (database + "_log.ldf")).string() + "', CHECKSUM, ";
    }

    StandinServer server;
};

TEST_F(StandinRestore, HeadersDescribeTheChainAndItRestoresUnderAnotherName) {
    const auto full = header("full"), diff = header("diff"), log1 = header("log1"), log2 = header("log2");
    EXPECT_EQ(full.at("BackupType"), "1");
    EXPECT_EQ(full.at("BackupName"), "set");
    EXPECT_EQ(full.at("DatabaseName"), "SALES");
    EXPECT_EQ(full.at("RecoveryModel"), "FULL");
    EXPECT_EQ(full.at("Collation"), "Japanese_CI_AS");
    EXPECT_EQ(full.at("HasBackupChecksums"), "1");
    EXPECT_EQ(diff.at("BackupType"), "5");
    EXPECT_EQ(diff.at("DifferentialBaseLSN"), full.at("CheckpointLSN"));
    EXPECT_EQ(log1.at("BackupType"), "2");
    EXPECT_EQ(log2.at("FirstLSN"), log1.at("LastLSN"));
    EXPECT_LT(std::stoull(full.at("LastLSN")), std::stoull(diff.at("LastLSN")));
    EXPECT_LT(std::stoull(log1.at("FirstLSN")), std::stoull(log1.at("LastLSN")));

    const OdbcResult files = run("RESTORE FILELISTONLY FROM DISK = N'" + file("full") + "'");
    ASSERT_EQ(files.rows.size(), 2u);
    EXPECT_EQ(files.columns[0].name, "LogicalName");
    EXPECT_EQ(files.rows[0][0], "SALES");
    EXPECT_EQ(files.rows[0][2], "D");
    EXPECT_EQ(files.rows[1][0], "SALES_log");
    EXPECT_EQ(files.rows[1][2], "L");
    EXPECT_TRUE(run("RESTORE VERIFYONLY FROM DISK = N'" + file("diff") + "' WITH CHECKSUM").ok());

    execute(restore("COPY", "full", moveTo("COPY") + "NORECOVERY"));
    EXPECT_EQ(server.query("SELECT state_desc, recovery_model_desc FROM sys.databases WHERE name = 'COPY'"),
              (std::vector<testsupport::TextRow>{{"RESTORING", "FULL"}}));
    const OdbcResult closed = run("SELECT COUNT(*) FROM COPY..items");
    ASSERT_FALSE(closed.diagnostics.empty());
    EXPECT_EQ(closed.diagnostics[0].native, 927);
    execute(restore("COPY", "diff", "NORECOVERY, CHECKSUM"));
    execute(restore("COPY", "log1", "NORECOVERY, CHECKSUM"));
    execute(restore("COPY", "log2", "NORECOVERY, CHECKSUM"));
    execute(restore("COPY", "log3", "RECOVERY, CHECKSUM"));
    EXPECT_EQ(server.query("SELECT name FROM items ORDER BY name", "COPY").size(), 5u);
    const OdbcResult check = run("DBCC CHECKDB (COPY) WITH NO_INFOMSGS, ALL_ERRORMSGS");
    EXPECT_TRUE(check.ok());
    EXPECT_TRUE(check.diagnostics.empty()) << testsupport::describe(check.diagnostics);
    EXPECT_TRUE(fs::exists(server.scratchDir() / "COPY.mdf"));

    execute("DROP DATABASE COPY");
    EXPECT_TRUE(server.query("SELECT name FROM sys.databases WHERE name = 'COPY'").empty());
    EXPECT_FALSE(fs::exists(server.scratchDir() / "COPY.mdf"));
    EXPECT_FALSE(fs::exists(server.scratchDir() / "COPY_log.ldf"));
}

// A database keeps its collation through backup and restore ("RESTORE HEADERONLY": Collation);
// sys.databases' collation_name is NULL while it is not online, and DATABASEPROPERTYEX tells its
// Status and Recovery; identifiers compare under its collation ("Database identifiers").
TEST_F(StandinRestore, ADatabaseKeepsItsCollationThroughBackupAndRestore) {
    execute("CREATE DATABASE CASED COLLATE Latin1_General_CS_AS");
    execute("CREATE TABLE words (word VARCHAR(20)); CREATE INDEX words_word ON words (word); "
            "INSERT INTO words VALUES ('b'), ('A'), ('a')",
            "CASED");
    backup("BACKUP DATABASE CASED TO DISK = N'" + file("cased") + "' WITH INIT");
    EXPECT_EQ(header("cased").at("Collation"), "Latin1_General_CS_AS");

    const fs::path folder = server.scratchDir();
    execute("RESTORE DATABASE CASECOPY FROM DISK = N'" + file("cased") + "' WITH MOVE N'CASED' TO N'" +
            (folder / "CASECOPY.mdf").string() + "', MOVE N'CASED_log' TO N'" + (folder / "CASECOPY_log.ldf").string() +
            "', NORECOVERY");
    const std::string properties = "SELECT collation_name, DATABASEPROPERTYEX(name, 'Status'), "
                                   "DATABASEPROPERTYEX(name, 'Recovery') FROM sys.databases WHERE name = 'CASECOPY'";
    EXPECT_EQ(server.query(properties), (std::vector<testsupport::TextRow>{{std::nullopt, "RESTORING", "FULL"}}));
    execute("RESTORE DATABASE CASECOPY WITH RECOVERY");
    EXPECT_EQ(server.query(properties),
              (std::vector<testsupport::TextRow>{{"Latin1_General_CS_AS", "ONLINE", "FULL"}}));
    EXPECT_EQ(server.query("SELECT word FROM words WHERE word = 'a'", "CASECOPY"),
              (std::vector<testsupport::TextRow>{{"a"}}));
    EXPECT_EQ(server.query("SELECT OBJECT_ID('CASECOPY..WORDS'), CASE WHEN OBJECT_ID('CASECOPY..words') IS NULL "
                           "THEN 'none' ELSE 'found' END"),
              (std::vector<testsupport::TextRow>{{std::nullopt, "found"}}));

    // The check reads the index in the order of the column's collation.
    const OdbcResult check = run("DBCC CHECKDB (CASECOPY) WITH NO_INFOMSGS");
    EXPECT_TRUE(check.ok()) << testsupport::describe(check.diagnostics);
}

// A BACKUP that fails ends its statement, not the batch, and leaves 3013, its last error, in
// @@ERROR, as BACKUP's "IF @@ERROR <> 0" checks expect.
TEST_F(StandinRestore, AFailedBackupEndsOnlyItsStatement) {
    OdbcSession db(server.connectionString("SALES"));
    const std::string missing = (server.scratchDir() / "missing" / "x.DAT").string();
    const OdbcResult batch =
        db.run("BACKUP DATABASE SALES TO DISK = N'" + missing + "' WITH INIT; INSERT INTO items VALUES ('after')");
    EXPECT_EQ(batch.rc, SQL_ERROR);
    ASSERT_EQ(batch.diagnostics.size(), 2u);
    EXPECT_EQ(batch.diagnostics[0].native, 3201);
    EXPECT_EQ(batch.diagnostics[1].native, 3013);
    EXPECT_EQ(db.run("SELECT COUNT(*) FROM items WHERE name = 'after'").rows,
              (std::vector<testsupport::TextRow>{{"1"}}));
    EXPECT_EQ(db.run("BACKUP DATABASE SALES TO DISK = N'" + missing + "' WITH INIT").rc, SQL_ERROR);
    EXPECT_EQ(db.run("SELECT @@ERROR").rows, (std::vector<testsupport::TextRow>{{"3013"}}));
}

TEST_F(StandinRestore, RefusalsCarrySqlServersNumbers) {
    server.createDatabase("FRESH");
    server.createDatabase("OTHER");
    fs::copy_file(file("diff"), file("flipped"));
    {
        std::fstream damaged(file("flipped"), std::ios::in | std::ios::out | std::ios::binary);
        damaged.seekg(-100, std::ios::end);
        const char byte = static_cast<char>(damaged.get());
        damaged.seekp(-100, std::ios::end);
        damaged.put(static_cast<char>(byte ^ 0x01));
    }
    std::ofstream(file("garbage")) << "not a backup";

    struct Case {
        const char* name;
        std::function<void()> before;
        std::string sql;
        std::vector<long> numbers; // the server's messages in order
    };
    const std::string missing = (server.scratchDir() / "missing" / "x.DAT").string();
    const std::vector<Case> cases = {
        {"differential without a full backup",
         {},
         "BACKUP DATABASE FRESH TO DISK = N'" + file("x") + "' WITH DIFFERENTIAL, INIT",
         {3035, 3013}},
        {"log without a full backup", {}, "BACKUP LOG FRESH TO DISK = N'" + file("x") + "' WITH INIT", {4214, 3013}},
        {"log under the simple recovery model",
         [&] {
             execute("ALTER DATABASE OTHER SET RECOVERY SIMPLE");
             execute("BACKUP DATABASE OTHER TO DISK = N'" + file("other") + "' WITH INIT");
         },
         "BACKUP LOG OTHER TO DISK = N'" + file("x") + "' WITH INIT",
         {4208, 3013}},
        {"backup inside a transaction",
         {},
         "BEGIN TRANSACTION; BACKUP DATABASE SALES TO DISK = N'" + file("x") + "' WITH INIT",
         {3021, 3013}},
        {"backup into a missing folder",
         {},
         "BACKUP DATABASE SALES TO DISK = N'" + missing + "' WITH INIT",
         {3201, 3013}},
        {"procedure's differential without a full backup",
         {},
         "master..SSP_BackUPDB 'FRESH', '" + file("x") + "', 'DIFF', 'l', '2026/12/03 02:00:00'",
         {3035, 3013, 50000}},
        {"procedure into a missing folder",
         {},
         "master..SSP_BackUPDB 'SALES', '" + missing + "', 'INIT', 'l', '2026/12/03 02:00:00'",
         {3201, 3013, 50000}},
        {"log restored after a gap",
         [&] { execute(restore("GAP", "full", moveTo("GAP") + "NORECOVERY")); },
         restore("GAP", "log2", "NORECOVERY"),
         {4305, 3013}},
        {"differential on another base",
         [&] {
             backup("BACKUP DATABASE SALES TO DISK = N'" + file("full2") + "' WITH INIT");
             execute(restore("BASE", "full2", moveTo("BASE") + "NORECOVERY"));
         },
         restore("BASE", "diff", "NORECOVERY"),
         {3136, 3013}},
        {"another database's backup without REPLACE",
         {},
         restore("OTHER", "full", moveTo("OTHER") + "RECOVERY"),
         {3154, 3013}},
        {"further step onto a recovered database",
         [&] { execute(restore("DONE", "full", moveTo("DONE") + "RECOVERY")); },
         restore("DONE", "diff", "RECOVERY"),
         {3117, 3013}},
        {"content that fails its checksum",
         {},
         restore("DAMAGED", "flipped", moveTo("DAMAGED") + "RECOVERY"),
         {3183, 3013}},
        {"a file that is no backup", {}, "RESTORE HEADERONLY FROM DISK = N'" + file("garbage") + "'", {3241, 3013}},
        {"a backup file that does not exist",
         {},
         "RESTORE VERIFYONLY FROM DISK = N'" + file("none") + "'",
         {3201, 3013}},
        {"check of a database that does not exist", {}, "DBCC CHECKDB (NOPE) WITH NO_INFOMSGS", {2520}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.before) {
            c.before();
        }
        const OdbcResult result = run(c.sql);
        EXPECT_EQ(result.rc, SQL_ERROR);
        std::vector<long> numbers;
        for (const auto& d : result.diagnostics) {
            numbers.push_back(d.native);
        }
        EXPECT_EQ(numbers, c.numbers) << testsupport::describe(result.diagnostics);
    }
    EXPECT_FALSE(fs::exists(file("x")));
    // Nothing a refused restore touched is left restoring or half made.
    EXPECT_EQ(server.query("SELECT name FROM sys.databases WHERE state_desc <> 'ONLINE' ORDER BY name"),
              (std::vector<testsupport::TextRow>{{"BASE"}, {"GAP"}}));
}

} // namespace
