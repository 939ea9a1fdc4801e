// Probes of what a real SQL Server answers, each row naming the documented behaviour it checks,
// run through FreeTDS ODBC: the collation's comparisons and code page, collations per database,
// which errors end a statement and which the batch, the session's @@ functions and lock waits,
// and the types and names of results.

#include "standin_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testsupport::OdbcResult;
using testsupport::OdbcSession;
using testsupport::StandinServer;
using testsupport::TextRow;

struct Probe {
    const char* behaviour; // what the server does, and where SQL Server documents it
    std::string sql;
    std::optional<std::string> answer; // the first column of the first row
};

class ServerProbes : public testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(server.stop(), 0) << "the server did not end cleanly"; }

    // Runs each probe on one connection and compares its single answer.
    void expectAnswers(OdbcSession& db, std::initializer_list<Probe> probes) {
        for (const Probe& probe : probes) {
            SCOPED_TRACE(std::string(probe.behaviour) + ": " + probe.sql);
            const OdbcResult result = db.run(probe.sql);
            ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
            ASSERT_FALSE(result.rows.empty());
            EXPECT_EQ(result.rows[0].at(0), probe.answer);
        }
    }

    static std::string is(const std::string& condition) {
        return "SELECT CASE WHEN " + condition + " THEN N'true' ELSE N'false' END";
    }

    StandinServer server;
};

// "Japanese_CI_AS": case-insensitive, accent-sensitive, kana- and width-insensitive (no _KS, no
// _WS; "Collation and Unicode support"); "=" pads the shorter text with blanks (SQL-92 padding,
// "How SQL Server compares strings with trailing spaces").
TEST_F(ServerProbes, ComparisonsFollowTheDatabaseCollation) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE words (w NVARCHAR(20)); INSERT INTO words VALUES (N'cherry'), (N'Banana'), "
                       "(N'apple'); CREATE TABLE strict (w NVARCHAR(10) COLLATE Japanese_CS_AS); "
                       "INSERT INTO strict VALUES (N'abc')")
                    .ok());
    expectAnswers(db, {
                          {"trailing blanks do not count in =", is("N'abc' = N'abc   '"), "true"},
                          {"leading blanks do", is("N' abc' = N'abc'"), "false"},
                          {"CI: case does not count", is("N'abc' = N'ABC'"), "true"},
                          {"AS: accents count", is("N'resume' = N'résumé'"), "false"},
                          {"no _KS: hiragana equals katakana", is("N'あいう' = N'アイウ'"), "true"},
                          {"no _WS: full-width equals half-width", is("N'ＡＢＣ１' = N'abc1'"), "true"},
                          {"no _WS: half-width katakana with its sound mark", is("N'ｶﾞｷﾞﾊﾟ' = N'ガギパ'"), "true"},
                          {"CI orders case-insensitively", "SELECT TOP 1 w FROM words ORDER BY w DESC", "cherry"},
                          {"a column's own collation decides", "SELECT COUNT(*) FROM strict WHERE w = N'ABC'", "0"},
                          {"a COLLATE clause decides", is("N'abc' = N'ABC' COLLATE Latin1_General_CS_AS"), "false"},
                          {"functions of a column compare under the database's",
                           is("LTrim(RTrim(N' MASTER ')) <> 'master'"), "false"},
                          {"the catalogue's names compare under the server's",
                           "SELECT COUNT(*) FROM master..sysdatabases WHERE LTrim(RTrim(name)) <> 'MASTER'", "3"},
                      });
    EXPECT_EQ(db.run("SELECT 1 WHERE N'a' = N'A' COLLATE Klingon_CI_AS").diagnostics.at(0).native, 448);
}

// "CREATE DATABASE ... COLLATE", "DATABASEPROPERTYEX" and "SERVERPROPERTY": each database has a
// collation, the server's unless given; unknown databases and properties give NULL.
TEST_F(ServerProbes, EachDatabaseHasItsCollation) {
    server.execute("CREATE DATABASE latin COLLATE SQL_Latin1_General_CP1_CI_AS; CREATE DATABASE plain");
    OdbcSession db(server.connectionString());
    expectAnswers(db, {
                          {"the server's collation", "SELECT SERVERPROPERTY('Collation')", "Japanese_CI_AS"},
                          {"a database made with COLLATE", "SELECT DATABASEPROPERTYEX(N'latin', 'Collation')",
                           "SQL_Latin1_General_CP1_CI_AS"},
                          {"a database made without takes the server's",
                           "SELECT DATABASEPROPERTYEX('plain', 'Collation')", "Japanese_CI_AS"},
                          {"an unknown database", "SELECT DATABASEPROPERTYEX('nowhere', 'Collation')", std::nullopt},
                          {"an unknown property", "SELECT DATABASEPROPERTYEX('master', 'Nonsense')", std::nullopt},
                      });
    EXPECT_EQ(db.run("CREATE DATABASE odd COLLATE Japanese_XY").diagnostics.at(0).native, 448);
    ASSERT_TRUE(db.run("USE latin").ok());
    expectAnswers(db, {{"comparisons take the current database's", is("N'ア' = N'あ'"), "true"}});
}

// "char and varchar": a literal without N is varchar in the code page of the database's collation;
// characters outside it become "?", and VARCHAR(n) counts bytes of that code page.
TEST_F(ServerProbes, TextWithoutNTakesTheCodePageOfTheCollation) {
    server.execute("CREATE DATABASE latin COLLATE SQL_Latin1_General_CP1_CI_AS");
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE b (c VARCHAR(4), n NVARCHAR(4))").ok());
    expectAnswers(db, {
                          {"code page 932 holds Japanese", "SELECT 'あい'", "あい"},
                          {"but no Hangul", "SELECT '한'", "?"},
                          {"N'...' is Unicode", "SELECT N'한'", "한"},
                      });
    EXPECT_TRUE(db.run("INSERT INTO b VALUES ('あい', N'あいうえ')").ok()) << "4 bytes, 4 characters";
    EXPECT_EQ(db.run("INSERT INTO b (c) VALUES ('あいう')").diagnostics.at(0).native, 8152) << "6 bytes in VARCHAR(4)";
    EXPECT_THAT(db.run("INSERT INTO b (c) VALUES (N'한')").ok(), true);
    EXPECT_THAT(db.run("SELECT c FROM b WHERE n IS NULL").rows, ElementsAre(TextRow{"?"}));

    ASSERT_TRUE(db.run("USE latin; CREATE TABLE t (n NVARCHAR(10))").ok());
    expectAnswers(db, {{"the current database's code page decides", "SELECT 'あ'", "?"}});
    ASSERT_TRUE(db.run("INSERT INTO t VALUES ('日本'), (N'日本')").ok());
    EXPECT_THAT(db.run("SELECT n FROM t").rows, ElementsAre(TextRow{"??"}, TextRow{"日本"}))
        << "code page 1252 under SQL_Latin1_General_CP1_CI_AS";
}

// "char and varchar", "nchar and nvarchar": a value written to a text column loses only
// trailing blanks beyond its length; a length left out in a definition is 1, in CAST 30; a text
// column made with COLLATE DATABASE_DEFAULT or none takes the database's collation, and groups
// and sorts by it.
TEST_F(ServerProbes, TextColumnsKeepTheirLengthAndCollation) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (n NVARCHAR(3), one VARCHAR, d NVARCHAR(8) COLLATE DATABASE_DEFAULT)").ok());
    EXPECT_TRUE(db.run("INSERT INTO t (n, one, d) VALUES (N'abc   ', 'x', N'b')").ok());
    EXPECT_EQ(db.run("INSERT INTO t (one) VALUES ('xy')").diagnostics.at(0).native, 8152);
    EXPECT_TRUE(db.run("INSERT INTO t (d) VALUES (N'B'), (N'Ｂ'), (N'a')").ok());
    expectAnswers(db, {
                          {"blanks beyond the length are dropped", "SELECT LEN(n) FROM t WHERE n IS NOT NULL", "3"},
                          {"one group for b, B and Ｂ", "SELECT COUNT(*) FROM (SELECT DISTINCT d FROM t) x", "2"},
                          {"CAST takes 30 characters",
                           "SELECT LEN(CAST(N'123456789012345678901234567890123' AS NVARCHAR))", "30"},
                          {"DATABASEPROPERTYEX of the current one", "SELECT DATABASEPROPERTYEX(DB_NAME(), 'Collation')",
                           "Japanese_CI_AS"},
                      });
}

// "datetime": a DATETIME column keeps a date and time, whatever text it was given, so a CONVERT
// style formats it.
TEST_F(ServerProbes, DatesWrittenAsTextAreKeptAsDates) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (d DATETIME); INSERT INTO t VALUES ('2026/12/3 2:00')").ok());
    ASSERT_TRUE(db.run("UPDATE t SET d = '2026-12-04T02:00:00.5'").ok());
    expectAnswers(db, {
                          {"style 111", "SELECT CONVERT(NVARCHAR(10), d, 111) FROM t", "2026/12/04"},
                          {"style 120", "SELECT CONVERT(NVARCHAR(19), d, 120) FROM t", "2026-12-04 02:00:00"},
                          {"compared as a date", "SELECT COUNT(*) FROM t WHERE d > '2026-12-04 01:59'", "1"},
                      });
}

struct BatchProbe {
    const char* behaviour;
    std::string batch;
    std::vector<TextRow> kept; // what table t holds afterwards
};

// "Database engine error severities" and "SET XACT_ABORT": most errors end their statement and
// the batch goes on; a conversion error ends the batch and its transaction; with XACT_ABORT ON
// every run-time error does. Severity 16 in every case.
TEST_F(ServerProbes, ErrorsEndTheirStatementOrTheBatch) {
    OdbcSession db(server.connectionString());
    const std::vector<BatchProbe> probes = {
        {"8152 ends the statement",
         "INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'far too long'); "
         "INSERT INTO t VALUES (3, 'c')",
         {{"1"}, {"3"}}},
        {"515 ends the statement",
         "INSERT INTO t VALUES (1, 'a'); INSERT INTO t (i) VALUES (NULL); "
         "INSERT INTO t VALUES (3, 'c')",
         {{"1"}, {"3"}}},
        {"8134 ends the statement under ANSI_WARNINGS ON",
         "INSERT INTO t VALUES (1, 'a'); "
         "INSERT INTO t VALUES (1 / 0, 'b'); INSERT INTO t VALUES (3, 'c')",
         {{"1"}, {"3"}}},
        {"a statement error inside a transaction keeps it",
         "BEGIN TRAN; INSERT INTO t VALUES (1, 'a'); "
         "INSERT INTO t VALUES (2, 'far too long'); COMMIT",
         {{"1"}}},
        {"245 ends the batch and rolls the transaction back",
         "BEGIN TRAN; INSERT INTO t VALUES (1, 'a'); "
         "INSERT INTO t VALUES ('x', 'b'); "
         "INSERT INTO t VALUES (3, 'c'); COMMIT",
         {}},
        {"208 ends the batch",
         "INSERT INTO t VALUES (1, 'a'); SELECT * FROM nowhere; INSERT INTO t VALUES (3, 'c')",
         {{"1"}}},
        {"XACT_ABORT ON: any error ends batch and transaction",
         "SET XACT_ABORT ON; BEGIN TRAN; INSERT INTO t VALUES (1, 'a'); INSERT INTO t VALUES (2, 'far too long'); "
         "INSERT INTO t VALUES (3, 'c'); COMMIT",
         {}},
    };
    for (const BatchProbe& probe : probes) {
        SCOPED_TRACE(probe.behaviour);
        ASSERT_TRUE(db.run("SET XACT_ABORT OFF; CREATE TABLE t (i INT NOT NULL, s NVARCHAR(4))").ok());
        EXPECT_EQ(db.run(probe.batch).rc, SQL_ERROR);
        EXPECT_EQ(db.run("SELECT @@TRANCOUNT").rows.at(0).at(0), "0");
        EXPECT_EQ(db.run("SELECT i FROM t ORDER BY i").rows, probe.kept);
        ASSERT_TRUE(db.run("DROP TABLE t").ok());
    }
}

// "@@TRANCOUNT", "@@SPID", "@@VERSION", "@@ROWCOUNT": the session's own values.
TEST_F(ServerProbes, SessionFunctionsAnswer) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT); INSERT INTO t VALUES (1), (2), (3)").ok());
    expectAnswers(db, {
                          {"no transaction", "SELECT @@TRANCOUNT", "0"},
                          {"BEGIN TRAN counts up", "BEGIN TRAN; BEGIN TRAN; SELECT @@TRANCOUNT", "2"},
                          {"COMMIT counts down", "COMMIT; SELECT @@TRANCOUNT", "1"},
                          {"ROLLBACK ends them all", "ROLLBACK; SELECT @@TRANCOUNT", "0"},
                      });
    ASSERT_EQ(db.run("UPDATE t SET i = i + 1 WHERE i > 1").rowCount, 2);
    expectAnswers(db, {{"rows of the last statement", "SELECT @@ROWCOUNT", "2"}});
    EXPECT_EQ(db.run("SELECT 1 / 0").rc, SQL_ERROR);
    expectAnswers(db, {{"the error of the last statement", "SELECT @@ERROR", "8134"},
                       {"and none after one that went well", "SELECT @@ERROR", "0"}});
    const OdbcResult spid = db.run("SELECT @@SPID");
    EXPECT_GE(std::stoi(spid.rows.at(0).at(0).value()), 51) << "user sessions are numbered from 51";
    EXPECT_THAT(db.run("SELECT @@VERSION").rows.at(0).at(0).value(), testing::StartsWith("Microsoft SQL Server 2022"));
    EXPECT_EQ(db.run("SELECT @@NOSUCH").diagnostics.at(0).native, 137);
}

// "SET LOCK_TIMEOUT": -1 (the default) waits for the lock as long as it takes; n gives up after n
// milliseconds with 1222, and 0 at once.
TEST_F(ServerProbes, LockTimeoutDecidesWhetherASecondWriterWaits) {
    server.execute("CREATE TABLE t (i INT)");
    OdbcSession holder(server.connectionString());
    OdbcSession writer(server.connectionString());
    ASSERT_TRUE(holder.run("BEGIN TRAN; INSERT INTO t VALUES (1)").ok());

    ASSERT_TRUE(writer.run("SET LOCK_TIMEOUT 300").ok());
    const auto start = std::chrono::steady_clock::now();
    const OdbcResult refused = writer.run("INSERT INTO t VALUES (2)");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(280));
    ASSERT_FALSE(refused.diagnostics.empty());
    EXPECT_EQ(refused.diagnostics[0].native, 1222);
    EXPECT_THAT(refused.diagnostics[0].message, HasSubstr("Lock request time out period exceeded."));

    ASSERT_TRUE(writer.run("SET LOCK_TIMEOUT 0").ok());
    EXPECT_EQ(writer.run("INSERT INTO t VALUES (2)").diagnostics.at(0).native, 1222) << "0: not waiting at all";

    ASSERT_TRUE(writer.run("SET LOCK_TIMEOUT -1").ok());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        holder.run("COMMIT");
    });
    const OdbcResult waited = writer.run("INSERT INTO t VALUES (3)");
    release.join();
    EXPECT_TRUE(waited.ok()) << testsupport::describe(waited.diagnostics);
    EXPECT_THAT(writer.run("SELECT i FROM t ORDER BY i").rows, ElementsAre(TextRow{"1"}, TextRow{"3"}));
}

struct TypeProbe {
    const char* behaviour;
    std::string sql;
    std::optional<std::string> value;
    SQLSMALLINT type;
};

// "Precision, scale, and length", "decimal and numeric", "nchar", "datetime2", "bit": the values
// and the types of results.
TEST_F(ServerProbes, ValuesHaveTheirTypes) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE d (k INT, v DECIMAL(5,2), c NCHAR(5), t DATETIME2(3))").ok());
    ASSERT_TRUE(db.run("INSERT INTO d VALUES (1, 1.235, N'ab', '2026-12-04 02:00:00.12345'), "
                       "(2, '-2.345', N'abcde', NULL)")
                    .ok());
    const std::vector<TypeProbe> probes = {
        {"DECIMAL(5,2) rounds half away from zero", "SELECT v FROM d WHERE k = 1", "1.24", SQL_NUMERIC},
        {"and so for negative values", "SELECT v FROM d WHERE k = 2", "-2.35", SQL_NUMERIC},
        {"NCHAR(5) pads with blanks", "SELECT c FROM d WHERE k = 1", "ab   ", SQL_WCHAR},
        {"DATETIME2(3) rounds to its scale", "SELECT t FROM d WHERE k = 1", "2026-12-04 02:00:00.123",
         SQL_TYPE_TIMESTAMP},
        {"a decimal literal is NUMERIC(p,s)", "SELECT 1.50", "1.50", SQL_NUMERIC},
        {"decimal division has scale max(6, s1 + p2 + 1)", "SELECT 7.0 / 2", "3.500000", SQL_NUMERIC},
        {"int / int is int", "SELECT 10 / 4", "2", SQL_INTEGER},
        {"int / decimal is decimal", "SELECT 10 / 4.0", "2.500000", SQL_NUMERIC},
        {"decimal * int adds the scales", "SELECT 1.50 * 2", "3.00", SQL_NUMERIC},
        {"CAST to BIT is BIT", "SELECT CAST(5 AS BIT)", "1", SQL_BIT},
        {"CAST to DECIMAL rounds", "SELECT CAST(2.5 AS DECIMAL(3,0))", "3", SQL_NUMERIC},
        {"SYSDATETIME is DATETIME2(7)", "SELECT CAST(CAST('2026-12-04 02:00:00' AS DATETIME2) AS NVARCHAR(30))",
         "2026-12-04 02:00:00.0000000", SQL_WVARCHAR},
        {"a style formats dates only", "SELECT CONVERT(NVARCHAR(10), '2026-12-04 02:00:00', 111)", "2026-12-04",
         SQL_WVARCHAR},
        {"CONVERT style 112 of a date", "SELECT CONVERT(NVARCHAR(8), CAST('2026-12-04' AS DATETIME), 112)", "20261204",
         SQL_WVARCHAR},
    };
    for (const TypeProbe& probe : probes) {
        SCOPED_TRACE(std::string(probe.behaviour) + ": " + probe.sql);
        const OdbcResult result = db.run(probe.sql);
        ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
        EXPECT_EQ(result.rows.at(0).at(0), probe.value);
        EXPECT_EQ(result.columns.at(0).type, probe.type);
    }
    EXPECT_EQ(db.run("INSERT INTO d (v) VALUES (1234.5)").diagnostics.at(0).native, 8115)
        << "DECIMAL(5,2) holds 999.99";
}

// Result columns: an expression without an alias has no name; a column keeps its own.
TEST_F(ServerProbes, ExpressionsWithoutAnAliasAreUnnamed) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (v INT); INSERT INTO t VALUES (1)").ok());
    const OdbcResult result = db.run("SELECT 1, v + 1, N'x' AS named, COUNT(*) AS total, t.v, v one FROM t GROUP BY v");
    ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
    std::vector<std::string> names;
    for (const auto& column : result.columns) {
        names.push_back(column.name);
    }
    EXPECT_THAT(names, ElementsAre("", "", "named", "total", "v", "one"));
}

// Conversion errors name the type of the value: nvarchar for N'...' (message 245 and 8114).
TEST_F(ServerProbes, ConversionErrorsNameTheTypeOfTheValue) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT, f FLOAT)").ok());
    for (const auto& [sql, message] : std::initializer_list<std::pair<const char*, const char*>>{
             {"SELECT CAST(N'abc' AS INT)", "converting the nvarchar value 'abc' to data type int."},
             {"SELECT CAST('abc' AS INT)", "converting the varchar value 'abc' to data type int."},
             {"INSERT INTO t (i) VALUES (N'x1')", "converting the nvarchar value 'x1' to data type int."},
             {"SELECT N'abc' + 1", "converting the nvarchar value 'abc' to data type int."},
             {"INSERT INTO t (f) VALUES (N'x')", "Error converting data type nvarchar to float."},
         }) {
        const OdbcResult result = db.run(sql);
        ASSERT_FALSE(result.diagnostics.empty()) << sql;
        EXPECT_THAT(result.diagnostics[0].message, HasSubstr(message)) << sql;
    }
}

} // namespace
