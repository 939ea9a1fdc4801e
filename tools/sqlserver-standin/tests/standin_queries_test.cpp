// Statements through FreeTDS ODBC: login, types, Japanese text, row counts, errors, transactions,
// and the exact statements the backup program sends.

#include "standin_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testsupport::OdbcDiagnostic;
using testsupport::OdbcError;
using testsupport::OdbcResult;
using testsupport::OdbcSession;
using testsupport::StandinServer;
using testsupport::TextRow;

MATCHER_P2(Diagnostic, sqlstate, native, "") {
    return arg.sqlstate == sqlstate && arg.native == native;
}

TextRow row(std::initializer_list<std::optional<std::string>> cells) {
    return TextRow(cells);
}

class StandinQueries : public testing::Test {
protected:
    // A crash, a hang or (in the sanitizer build) a leak of the server shows here.
    void TearDown() override { EXPECT_EQ(server.stop(), 0) << "the server did not end cleanly"; }

    StandinServer server;
};

TEST_F(StandinQueries, LoginChecksPasswordAndDatabase) {
    OdbcSession ok(server.connectionString());
    EXPECT_THAT(ok.run("SELECT 1").rows, ElementsAre(row({"1"})));

    std::string wrong = server.connectionString();
    wrong.replace(wrong.find("PWD="), 4, "PWD=x");
    try {
        OdbcSession refused(wrong);
        FAIL() << "a wrong password logged in";
    } catch (const OdbcError& e) {
        EXPECT_THAT(e.diagnostics(), ElementsAre(Diagnostic("42000", 18456), Diagnostic("08001", 0)));
        EXPECT_THAT(e.diagnostics()[0].message, HasSubstr("Login failed for user 'standin'."));
    }
    try {
        OdbcSession unknown(server.connectionString("NoSuchDb"));
        FAIL() << "logged in to a database that does not exist";
    } catch (const OdbcError& e) {
        EXPECT_THAT(e.diagnostics(), testing::Contains(Diagnostic("42000", 4060)));
    }
}

// Every column type in every TDS version FreeTDS speaks, with a row of values and a row of NULLs.
class StandinTypes : public StandinQueries, public testing::WithParamInterface<const char*> {};

TEST_P(StandinTypes, ColumnTypesValuesAndNullsSurviveTheRoundTrip) {
    std::string connection = server.connectionString();
    connection.replace(connection.find("TDS_Version=7.4"), 15, std::string("TDS_Version=") + GetParam());
    OdbcSession db(connection);
    ASSERT_TRUE(db.run("CREATE TABLE t (d DATETIME, s SMALLINT, ti TINYINT, i INT, b BIGINT, bt BIT, f FLOAT, "
                       "n NVARCHAR(16), dec DECIMAL(24,4), nc NCHAR(3), d2 DATETIME2(2))")
                    .ok());
    ASSERT_TRUE(db.run("INSERT INTO t VALUES ('2026/12/03 02:00:00.5', -32768, 255, 2147483647, 9000000000, 1, "
                       "2.5, N'text', -123456789012.3456, N'x', '2026-12-03 02:00:00.125'); "
                       "INSERT INTO t (n) VALUES (NULL)")
                    .ok());
    const OdbcResult result = db.run("SELECT * FROM t ORDER BY i DESC");
    ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
    std::vector<SQLSMALLINT> types;
    for (const auto& column : result.columns) {
        types.push_back(column.type);
    }
    // FreeTDS reports FLOAT (8-byte FLTN) as SQL_DOUBLE, as it does against SQL Server; SQL Server
    // sends DATETIME2 to clients before TDS 7.3 as text.
    const bool datetime2 = std::string(GetParam()) >= "7.3";
    EXPECT_THAT(types,
                ElementsAre(SQL_TYPE_TIMESTAMP, SQL_SMALLINT, SQL_TINYINT, SQL_INTEGER, SQL_BIGINT, SQL_BIT, SQL_DOUBLE,
                            SQL_WVARCHAR, SQL_NUMERIC, SQL_WCHAR, datetime2 ? SQL_TYPE_TIMESTAMP : SQL_WVARCHAR));
    EXPECT_EQ(result.columns[7].size, 16u);
    EXPECT_THAT(result.rows,
                ElementsAre(row({"2026-12-03 02:00:00.500", "-32768", "255", "2147483647", "9000000000", "1", "2.5",
                                 "text", "-123456789012.3456", "x  ", "2026-12-03 02:00:00.13"}),
                            TextRow(11, std::nullopt)));
}

INSTANTIATE_TEST_SUITE_P(TdsVersions, StandinTypes, testing::Values("7.0", "7.1", "7.2", "7.3", "7.4"));

TEST_F(StandinQueries, DateTimesRoundAndConversionsFailAsInSqlServer) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (k INT, d DATETIME, i INT, ti TINYINT)").ok());
    ASSERT_TRUE(db.run("INSERT INTO t (k, d) VALUES (1, '2026-12-31 23:59:59.999'), (2, '2026/2/3'), "
                       "(3, '2026-12-03T04:05:06.7'), (4, '1900-01-01 00:00:00.003'), (5, '1753-01-01')")
                    .ok());
    EXPECT_THAT(db.run("SELECT d FROM t ORDER BY k").rows,
                ElementsAre(row({"2027-01-01 00:00:00.000"}), row({"2026-02-03 00:00:00.000"}),
                            row({"2026-12-03 04:05:06.700"}), row({"1900-01-01 00:00:00.003"}),
                            row({"1753-01-01 00:00:00.000"})));
}

// What SQL Server refuses, with its error numbers, so that no test passes on a write or an
// expression the real server would reject.
TEST_F(StandinQueries, WritesAndExpressionsFailAsInSqlServer) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT, ti TINYINT, d DATETIME, n NVARCHAR(3))").ok());
    ASSERT_TRUE(db.run("INSERT INTO t VALUES (2147483647, 255, '2024-02-29', N'abc')").ok());
    struct Case {
        const char* sql;
        long native;
        const char* message;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"INSERT INTO t (i) VALUES ('abc')", 245,
              "Conversion failed when converting the varchar value 'abc' to data type int."},
             {"INSERT INTO t (i) VALUES (2147483648)", 8115,
              "Arithmetic overflow error converting expression to data type int."},
             {"INSERT INTO t (ti) VALUES (256)", 220, "Arithmetic overflow error for data type tinyint, value = 256."},
             {"INSERT INTO t (d) VALUES ('2026-02-30')", 242,
              "The conversion of a varchar data type to a datetime data type resulted in an out-of-range value."},
             {"INSERT INTO t (d) VALUES ('yesterday')", 241,
              "Conversion failed when converting date and/or time from character string."},
             {"INSERT INTO t (n) VALUES (N'abcd')", 8152, "String or binary data would be truncated."},
             {"UPDATE t SET i = i + 1", 8115, "Arithmetic overflow error converting expression to data type int."},
             {"UPDATE t SET n = n + 'x'", 8152, "String or binary data would be truncated."},
             {"SELECT 'abc' + 1", 245, "Conversion failed when converting the varchar value 'abc' to data type int."},
             {"SELECT CAST('x' AS INT)", 245,
              "Conversion failed when converting the varchar value 'x' to data type int."},
             {"SELECT CONVERT(TINYINT, 300)", 220, "Arithmetic overflow error for data type tinyint, value = 300."},
             {"SELECT 1 / 0", 8134, "Divide by zero error encountered."},
             {"SELECT i % (ti - 255) FROM t", 8134, "Divide by zero error encountered."},
         }) {
        const OdbcResult result = db.run(c.sql);
        EXPECT_EQ(result.rc, SQL_ERROR) << c.sql;
        ASSERT_FALSE(result.diagnostics.empty()) << c.sql;
        EXPECT_EQ(result.diagnostics[0].native, c.native) << c.sql;
        EXPECT_THAT(result.diagnostics[0].message, HasSubstr(c.message)) << c.sql;
    }
    EXPECT_THAT(db.run("SELECT i, ti, d, n FROM t").rows,
                ElementsAre(row({"2147483647", "255", "2024-02-29 00:00:00.000", "abc"})));

    // What SQL Server accepts, with its results: 7.0 / 2 is DECIMAL(7,6); a CONVERT style formats
    // date and time values only, so text that looks like a date is merely cut.
    EXPECT_THAT(db.run("SELECT N'ab' + 'c' + N'd', '2' + 3 * 2, 7 / 2 + 1, 7.0 / 2, -7 % 3, LEN(N'ab  '), "
                       "CAST('12' AS INT) + 1, CONVERT(NVARCHAR(10), '2026-12-04 02:00:00', 111), "
                       "CONVERT(NVARCHAR(10), CAST('2026-12-04 02:00:00' AS DATETIME), 111), "
                       "CAST(N'abcdef' AS NVARCHAR(3)), 'a' + NULL")
                    .rows,
                ElementsAre(row(
                    {"abcd", "8", "4", "3.500000", "-1", "2", "13", "2026-12-04", "2026/12/04", "abc", std::nullopt})));
    EXPECT_TRUE(db.run("UPDATE t SET i = '42', ti = 0, n = N'xyz' WHERE n + N'!' = N'abc!'").ok());
    EXPECT_THAT(db.run("SELECT i, ti, n FROM t").rows, ElementsAre(row({"42", "0", "xyz"})));
}

TEST_F(StandinQueries, ExpressionColumnsTakeTheirTypes) {
    OdbcSession db(server.connectionString());
    const OdbcResult result = db.run("SELECT COUNT(*), 1.5, N'x', GetDate(), NULL FROM master..sysdatabases");
    ASSERT_EQ(result.columns.size(), 5u);
    EXPECT_EQ(result.columns[0].type, SQL_INTEGER);
    EXPECT_EQ(result.columns[1].type, SQL_NUMERIC); // 1.5 is NUMERIC(2,1)
    EXPECT_EQ(result.columns[2].type, SQL_WVARCHAR);
    EXPECT_EQ(result.columns[3].type, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(result.rows.at(0)[0], "4"); // the four system databases
}

TEST_F(StandinQueries, TSqlFormsAreTranslated) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE dbo.t (v NVARCHAR(10)); INSERT INTO [t] VALUES (N'abc'), (NULL), ('z')").ok());
    EXPECT_THAT(db.run("SELECT TOP 2 LEN(ISNULL(v, '')) FROM t ORDER BY v DESC").rows,
                ElementsAre(row({"1"}), row({"3"})));
    EXPECT_THAT(db.run("SELECT TOP (1) v FROM master.dbo.t WHERE CURRENT_TIMESTAMP > '2000-01-01'").rows.size(), 1u);
    EXPECT_TRUE(db.run("DROP TABLE t").ok());
    EXPECT_THAT(db.run("SELECT * FROM t").diagnostics, ElementsAre(Diagnostic("42S02", 208)));
    EXPECT_THAT(db.run("SELECT @x").diagnostics, ElementsAre(Diagnostic("42000", 137)));
}

TEST_F(StandinQueries, JapaneseNamesAndValuesTravelBothWays) {
    OdbcSession db(server.connectionString());
    const std::string value = "𠮷野家　ﾊﾝｶｸ"; // a surrogate pair, an ideographic space, half-width kana
    ASSERT_TRUE(db.run("CREATE TABLE [社員 名簿] (氏名 NVARCHAR(20), 番号 INT)").ok());
    ASSERT_TRUE(db.run("INSERT INTO [社員 名簿] VALUES (N'" + value + "', 1)").ok());
    const OdbcResult result = db.run("SELECT 氏名 FROM [社員 名簿] WHERE 氏名 = N'" + value + "'");
    ASSERT_TRUE(result.ok()) << testsupport::describe(result.diagnostics);
    EXPECT_EQ(result.columns.at(0).name, "氏名");
    EXPECT_THAT(result.rows, ElementsAre(row({value})));
}

TEST_F(StandinQueries, ValuesLongerThanFourThousandCharactersComeBackWhole) {
    OdbcSession db(server.connectionString());
    const std::string longer(5000, 'x');
    ASSERT_TRUE(db.run("CREATE TABLE t (n NTEXT); INSERT INTO t VALUES ('abc'), ('" + longer + "')").ok());
    EXPECT_THAT(db.run("SELECT n FROM t").rows, ElementsAre(row({"abc"}), row({longer})));
}

TEST_F(StandinQueries, ChangesReportTheirRowCounts) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT)").ok());
    EXPECT_EQ(db.run("INSERT INTO t VALUES (1), (2), (3)").rowCount, 3);
    EXPECT_EQ(db.run("UPDATE t SET i = i * 10 WHERE i >= 2").rowCount, 2);
    EXPECT_EQ(db.run("DELETE FROM t WHERE i = 1").rowCount, 1);
    EXPECT_EQ(db.run("DELETE FROM t WHERE i = 1").rowCount, 0);
    EXPECT_THAT(db.run("SELECT i FROM t ORDER BY i").rows, ElementsAre(row({"20"}), row({"30"})));
}

TEST_F(StandinQueries, ErrorsCarrySqlServerNumbersAndLeaveTheConnectionUsable) {
    OdbcSession db(server.connectionString());
    const OdbcResult missing = db.run("SELECT * FROM nowhere");
    EXPECT_EQ(missing.rc, SQL_ERROR);
    ASSERT_THAT(missing.diagnostics, ElementsAre(Diagnostic("42S02", 208)));
    EXPECT_THAT(missing.diagnostics[0].message, HasSubstr("Invalid object name 'nowhere'."));

    EXPECT_THAT(db.run("SELEC 1").diagnostics, ElementsAre(Diagnostic("42000", 102)));
    EXPECT_THAT(db.run("SELECT 'open").diagnostics, ElementsAre(Diagnostic("42000", 105)));
    // The batch stops at its first error: the third statement must not run.
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT)").ok());
    EXPECT_EQ(db.run("INSERT INTO t VALUES (1); SELECT * FROM nowhere; INSERT INTO t VALUES (2)").rc, SQL_ERROR);
    EXPECT_THAT(db.run("SELECT i FROM t").rows, ElementsAre(row({"1"})));
}

TEST_F(StandinQueries, StatementsSplitOnlyAtSemicolonsOutsideLiteralsAndNames) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE [a;b] (v NVARCHAR(20)); INSERT INTO [a;b] VALUES ('x;y''z') -- ; not here\n"
                       "; /* ; */ INSERT INTO [a;b] VALUES (N'w')")
                    .ok());
    EXPECT_THAT(db.run("SELECT v FROM [a;b] ORDER BY v").rows, ElementsAre(row({"w"}), row({"x;y'z"})));
}

// FreeTDS sends the connection string's Database= as ISO-8859-1, so a Japanese database name only
// works after login: through USE or SQL_ATTR_CURRENT_CATALOG, which travel as UTF-16.
TEST_F(StandinQueries, DatabasesAreFilesAndReachableByUseAndQualifiedNames) {
    server.createDatabase("販売");
    server.execute("USE 販売; CREATE TABLE 品目 (名前 NVARCHAR(10)); INSERT INTO 品目 VALUES ('りんご')");
    EXPECT_TRUE(std::filesystem::exists(server.dataDir() / "販売.sqlite"));

    OdbcSession db(server.connectionString());
    EXPECT_THAT(db.run("SELECT 名前 FROM 販売..品目").rows, ElementsAre(row({"りんご"})));
    EXPECT_THAT(db.run("SELECT 名前 FROM [販売].dbo.[品目]").rows, ElementsAre(row({"りんご"})));
    // SQL_ATTR_CURRENT_CATALOG sends USE [db].
    std::string catalog = "販売";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(db.handle(), SQL_ATTR_CURRENT_CATALOG, catalog.data(), SQL_NTS)));
    EXPECT_THAT(db.run("SELECT 名前 FROM 品目").rows, ElementsAre(row({"りんご"})));
    EXPECT_THAT(db.run("USE nowhere").diagnostics, ElementsAre(Diagnostic("08004", 911))); // FreeTDS's SQLSTATE

    ASSERT_TRUE(db.run("USE master; DROP DATABASE 販売").ok());
    EXPECT_FALSE(std::filesystem::exists(server.dataDir() / "販売.sqlite"));
    EXPECT_EQ(db.run("DROP DATABASE msdb").rc, SQL_ERROR);
}

TEST_F(StandinQueries, TransactionStatementsNestAndNocountDropsCounts) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT)").ok());
    ASSERT_TRUE(db.run("BEGIN TRAN; INSERT INTO t VALUES (1); BEGIN TRANSACTION; COMMIT; ROLLBACK").ok());
    EXPECT_TRUE(db.run("SELECT i FROM t").rows.empty()); // the inner COMMIT only counted down
    ASSERT_TRUE(db.run("BEGIN TRANSACTION; INSERT INTO t VALUES (2); COMMIT TRANSACTION").ok());
    EXPECT_THAT(db.run("COMMIT").diagnostics, ElementsAre(Diagnostic("25000", 3902)));

    ASSERT_TRUE(db.run("SET NOCOUNT ON").ok());
    EXPECT_EQ(db.run("INSERT INTO t VALUES (3)").rowCount, -1);
    ASSERT_TRUE(db.run("SET NOCOUNT OFF").ok());
    EXPECT_EQ(db.run("INSERT INTO t VALUES (4)").rowCount, 1);
    EXPECT_THAT(server.query("SELECT i FROM t ORDER BY i"), ElementsAre(row({"2"}), row({"3"}), row({"4"})));
}

// Prepared statements and bound parameters reach the server as RPC requests, which it refuses: the
// data layer sends literal SQL with SQLExecDirect.
TEST_F(StandinQueries, PreparedStatementsAreRefusedWithAClearMessage) {
    OdbcSession db(server.connectionString());
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, db.handle(), &stmt);
    SQLINTEGER value = 7;
    SQLLEN length = 0;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0, &length);
    std::string sql = "SELECT ?";
    EXPECT_EQ(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_ERROR);
    const auto diagnostics = testsupport::odbcDiagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    ASSERT_FALSE(diagnostics.empty());
    EXPECT_THAT(diagnostics[0].message, HasSubstr("RPC requests are not supported"));
    EXPECT_THAT(db.run("SELECT 1").rows, ElementsAre(row({"1"})));
}

TEST_F(StandinQueries, ManualCommitAndRollbackUseTransactionRequests) {
    OdbcSession db(server.connectionString());
    ASSERT_TRUE(db.run("CREATE TABLE t (i INT)").ok());
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLSetConnectAttr(db.handle(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    ASSERT_TRUE(db.run("INSERT INTO t VALUES (1)").ok());
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.handle(), SQL_ROLLBACK)));
    ASSERT_TRUE(db.run("INSERT INTO t VALUES (2)").ok());
    ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db.handle(), SQL_COMMIT)));
    EXPECT_THAT(server.query("SELECT i FROM t"), ElementsAre(row({"2"})));
}

// The statements the backup program sends, byte for byte.
class ProductStatements : public StandinQueries {
protected:
    void SetUp() override {
        server.createDatabase("PRODUCT");
        server.loadProductSchema("PRODUCT");
    }

    static std::string insertLockRow(const std::string& name) {
        return "Insert into 排他管理 (更新日, 更新操作者, 更新画面ＩＤ, 更新カウンタ, 削除区分, ＫＥＹテーブル名称１, "
               "ＫＥＹＩＤ１, ＫＥＹテーブル名称２, ＫＥＹＩＤ２, テーブル名称, ロックＩＤ番号, ロックＣＤ番号 ) "
               "Values ("
               "GetDate(), '', '', 0, '0', '　', 0, '　', 0, '" +
               name + "', 0, '　' );";
    }
};

TEST_F(ProductStatements, LockRowsAreInsertedFoundListedAndDeleted) {
    OdbcSession db(server.connectionString("PRODUCT"));
    const OdbcResult inserted = db.run(insertLockRow("スケジュールバックアップ"));
    ASSERT_EQ(inserted.rc, SQL_SUCCESS) << testsupport::describe(inserted.diagnostics);
    EXPECT_EQ(inserted.rowCount, 1);

    const OdbcResult listed = db.run("Select * From 排他管理 Where (削除区分 = '0') AND ＫＥＹテーブル名称２ <> "
                                     "'内訳名称' AND テーブル名称 <> '内訳';");
    ASSERT_EQ(listed.rows.size(), 1u);
    ASSERT_EQ(listed.columns.size(), 12u);
    EXPECT_EQ(listed.columns[0].type, SQL_TYPE_TIMESTAMP);
    EXPECT_EQ(listed.columns[3].type, SQL_SMALLINT);
    EXPECT_EQ(listed.columns[6].type, SQL_INTEGER);
    EXPECT_THAT(listed.rows[0][0].value_or(""), testing::MatchesRegex("20[0-9][0-9]-[01][0-9]-[0-3][0-9] .*"));
    EXPECT_THAT(TextRow(listed.rows[0].begin() + 1, listed.rows[0].end()),
                ElementsAre("", "", "0", "0", "　", "0", "　", "0", "スケジュールバックアップ", "0", "　"));

    const std::string find = "Select テーブル名称 From 排他管理 Where テーブル名称 = 'スケジュールバックアップ';";
    EXPECT_THAT(db.run(find).rows, ElementsAre(row({"スケジュールバックアップ"})));
    const OdbcResult deleted =
        db.run("Delete From 排他管理  Where 削除区分 = '0' And テーブル名称 = 'スケジュールバックアップ';");
    EXPECT_EQ(deleted.rc, SQL_SUCCESS);
    EXPECT_EQ(deleted.rowCount, 1);
    EXPECT_TRUE(db.run(find).rows.empty());
}

TEST_F(ProductStatements, DatabaseListQueryLeavesOutSystemDatabases) {
    server.createDatabase("営業");
    server.createDatabase("Accounts");
    OdbcSession db(server.connectionString("PRODUCT"));
    const OdbcResult result =
        db.run("SELECT name FROM master..sysdatabases  Where  LTrim(RTrim(name)) <> 'master' AND LTrim(RTrim(name)) <> "
               "'tempdb' AND LTrim(RTrim(name)) <> 'msdb' AND LTrim(RTrim(name)) <> 'model' ORDER BY name;");
    ASSERT_EQ(result.rc, SQL_SUCCESS) << testsupport::describe(result.diagnostics);
    EXPECT_THAT(result.rows, ElementsAre(row({"Accounts"}), row({"PRODUCT"}), row({"営業"})));
}

} // namespace
