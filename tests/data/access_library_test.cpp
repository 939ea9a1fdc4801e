// The data-access library against the stand-in server through the FreeTDS ODBC driver.
#include "data/access_library.h"
#include "data/variant_convert.h"

#include "support/product_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace data;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

struct Library : ::testing::Test {
    testsupport::ProductServer p;
    std::int32_t db = 0;

    void SetUp() override {
        ASSERT_EQ(fnVIRedAZExt_LoginToDatabase(p.env(), 1, p.serverName(), p.server.user(), p.server.password(),
                                               "PRODUCT", db),
                  0);
        ASSERT_NE(db, 0);
    }
    void TearDown() override { fnVIRedAZExt_DatabaseClose(db); }

    void exec(const std::string& sql) {
        std::int32_t n = 0;
        ASSERT_EQ(fnVIRedAZExt_Execute(sql, db, n), 0) << sql << ": " << fnVIRedAZExt_LastErrorText(db);
    }
    std::int32_t open(const std::string& sql) {
        std::int32_t rs = 0;
        EXPECT_EQ(fnVIRedAZExt_Open(sql, db, rs, 0, 1, -1), 0) << fnVIRedAZExt_LastErrorText(db);
        return rs;
    }
    Variant get(std::int32_t rs, FieldRef f) { return fnVIRedAZExt_GetVariantData(f, db, rs); }
};

} // namespace

TEST_F(Library, LoginStateAndHandlesThatAreNeverReused) {
    EXPECT_EQ(fnVIRedAZExt_GetState(1, db), 1);
    std::int32_t other = 0;
    EXPECT_EQ(fnVIRedAZExt_LoginToDatabase(p.env(), 1, p.serverName(), p.server.user(), "wrong", "PRODUCT", other),
              libstatus::kFailed);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(fnVIRedAZExt_LoginToDatabase(p.env(), 2, p.serverName(), p.server.user(), p.server.password(), "PRODUCT",
                                           other),
              libstatus::kNotSupported);
    EXPECT_EQ(fnVIRedAZExt_LoginToDatabase(p.env(), 1, "127.0.0.1,99999", "u", "p", "PRODUCT", other),
              libstatus::kBadArgument);

    // The OLE DB form of the stage maps onto the same driver.
    const std::string oleDb = "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + p.server.user() +
                              ";Password=" + p.server.password() + ";Data Source=" + p.serverName() +
                              ";Workstation ID=(local);";
    ASSERT_EQ(fnVIRedAZExt_CreateOpen(p.env(), oleDb, other), 0);
    EXPECT_GT(other, db);
    EXPECT_EQ(fnVIRedAZExt_DatabaseClose(other), 0);
    EXPECT_EQ(fnVIRedAZExt_GetState(1, other), 0);
    EXPECT_EQ(fnVIRedAZExt_DatabaseClose(other), libstatus::kInvalidHandle);
    std::int32_t n = 0;
    EXPECT_EQ(fnVIRedAZExt_Execute("SELECT 1", other, n), libstatus::kInvalidHandle);

    std::int32_t again = 0;
    ASSERT_EQ(fnVIRedAZExt_CreateOpen(p.env(), p.server.connection_string("PRODUCT"), again), 0);
    EXPECT_GT(again, other);
    fnVIRedAZExt_DatabaseClose(again);
}

TEST_F(Library, ExecuteReportsAffectedRows) {
    exec("CREATE TABLE t (i INT)");
    std::int32_t n = -5;
    ASSERT_EQ(fnVIRedAZExt_Execute("INSERT INTO t VALUES (1), (2), (3)", db, n), 0);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(fnVIRedAZExt_Execute("UPDATE t SET i = 0 WHERE i > 1; DELETE FROM t WHERE i = 1", db, n), 0);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(fnVIRedAZExt_Execute("DELETE FROM t WHERE i = 7", db, n), 0);
    EXPECT_EQ(n, 0);
}

TEST_F(Library, ExecuteExMapsServerErrorsAndShowsThemUnlessSilent) {
    std::int32_t n = 0, code = 0;
    EXPECT_EQ(fnVIRedAZExt_ExecuteEx("INSERT INTO nowhere VALUES (1)", db, n, code, -1, 0), libstatus::kFailed);
    EXPECT_EQ(code, hresult::kErrorsInCommand);
    ASSERT_EQ(p.ui.lines.size(), 1u);
    EXPECT_THAT(p.ui.lines[0], StartsWith("MSGBOX\tcritical\tスケジュールバックアップ\t[FreeTDS][SQL Server]"));
    EXPECT_THAT(p.ui.lines[0], HasSubstr("nowhere"));

    EXPECT_EQ(fnVIRedAZExt_ExecuteEx("SELEC 1", db, n, code, -1, hresult::kErrorsInCommand), libstatus::kFailed);
    EXPECT_EQ(code, hresult::kErrorsInCommand);
    EXPECT_EQ(fnVIRedAZExt_ExecuteEx("SELEC 1", db, n, code, 0, 0), libstatus::kFailed);
    EXPECT_EQ(p.ui.lines.size(), 1u);

    // The connection stays usable and a success clears the code.
    EXPECT_EQ(fnVIRedAZExt_ExecuteEx("CREATE TABLE t (i INT)", db, n, code, -1, 0), 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(fnVIRedAZExt_LastErrorText(db), "");
}

TEST_F(Library, ValuesKeepTheirTypesJapaneseAndNull) {
    exec("CREATE TABLE 型 (名前 NVARCHAR(20), 数 INT, 小 SMALLINT, 微 TINYINT, 可否 BIT, 実数 FLOAT, 日時 DATETIME)");
    exec("INSERT INTO 型 VALUES (N'排他管理𠮷', -70000, -2, 255, 1, 2.5, '2026-12-03 02:00:00.997')");
    exec("INSERT INTO 型 VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    const std::int32_t rs = open("SELECT * FROM 型 ORDER BY 数 DESC");
    EXPECT_EQ(get(rs, std::string("名前")), Variant(std::string("排他管理𠮷")));
    EXPECT_EQ(get(rs, std::string("数")), Variant(std::int64_t(-70000)));
    EXPECT_EQ(get(rs, 2), Variant(std::int64_t(-2)));
    EXPECT_EQ(get(rs, 3), Variant(std::int64_t(255)));
    EXPECT_EQ(get(rs, std::string("可否")), Variant(true));
    EXPECT_EQ(get(rs, std::string("実数")), Variant(2.5));
    EXPECT_EQ(get(rs, std::string("日時")), Variant(platform::makeLocalTime(2026, 12, 3, 2, 0, 1)));
    EXPECT_EQ(fnVIRedAZExt_GetVariantData2(std::string("数"), db, rs, int(VarType::String)),
              Variant(std::string("-70000")));
    EXPECT_EQ(get(rs, std::string("nosuch")), Variant(Empty{}));
    ASSERT_EQ(fnVIRedAZExt_MoveNext(db, rs), 0);
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(isNull(get(rs, i))) << i;
    EXPECT_EQ(fnVIRedAZExt_Close(db, rs), 0);
}

TEST_F(Library, ResultSetsMoveBothWaysAndRequery) {
    exec("CREATE TABLE t (i INT)");
    exec("INSERT INTO t VALUES (1), (2), (3)");
    const std::int32_t rs = open("SELECT i FROM t ORDER BY i");
    EXPECT_EQ(fnVIRedAZExt_GetRecordCount(db, rs), 3);
    EXPECT_EQ(fnVIRedAZExt_GetBOF(db, rs), 0);
    EXPECT_EQ(fnVIRedAZExt_MoveLast(db, rs), 0);
    EXPECT_EQ(get(rs, std::string("I")), Variant(std::int64_t(3)));
    EXPECT_EQ(fnVIRedAZExt_MoveNext(db, rs), 0);
    EXPECT_NE(fnVIRedAZExt_GetEOF(db, rs), 0);
    EXPECT_EQ(get(rs, 0), Variant(Empty{}));
    EXPECT_EQ(fnVIRedAZExt_MoveNext(db, rs), libstatus::kNoCurrentRow);
    EXPECT_EQ(fnVIRedAZExt_MovePrevious(db, rs), 0);
    EXPECT_EQ(get(rs, 0), Variant(std::int64_t(3)));
    EXPECT_EQ(fnVIRedAZExt_MoveFirst(db, rs), 0);
    EXPECT_EQ(fnVIRedAZExt_MovePrevious(db, rs), 0);
    EXPECT_NE(fnVIRedAZExt_GetBOF(db, rs), 0);
    EXPECT_EQ(fnVIRedAZExt_MovePrevious(db, rs), libstatus::kNoCurrentRow);

    exec("DELETE FROM t");
    EXPECT_EQ(fnVIRedAZExt_Requery(db, rs), 0);
    EXPECT_NE(fnVIRedAZExt_GetBOF(db, rs), 0);
    EXPECT_NE(fnVIRedAZExt_GetEOF(db, rs), 0);
    EXPECT_EQ(fnVIRedAZExt_MoveFirst(db, rs), libstatus::kNoCurrentRow);
    EXPECT_EQ(fnVIRedAZExt_AddNew(db, rs), libstatus::kNotSupported);
    EXPECT_EQ(fnVIRedAZExt_SetVariantData(0, Variant(std::int64_t(1)), db, rs), libstatus::kNotSupported);
    // A recordset answers only to the connection it was opened on.
    EXPECT_EQ(fnVIRedAZExt_Close(db + 1000, rs), libstatus::kInvalidHandle);
    EXPECT_EQ(fnVIRedAZExt_Close(db, rs), 0);
    EXPECT_EQ(fnVIRedAZExt_Close(db, rs), libstatus::kInvalidHandle);

    std::int32_t bad = 0;
    EXPECT_EQ(fnVIRedAZExt_Open("SELECT * FROM nowhere", db, bad, 0, 1, -1), libstatus::kFailed);
    EXPECT_EQ(bad, 0);
    EXPECT_THAT(fnVIRedAZExt_LastErrorText(db), HasSubstr("nowhere"));
    // A later statement of the batch that fails fails the query too.
    EXPECT_EQ(fnVIRedAZExt_Open("SELECT i FROM t; SELECT * FROM elsewhere", db, bad, 0, 1, -1), libstatus::kFailed);
    EXPECT_THAT(fnVIRedAZExt_LastErrorText(db), HasSubstr("elsewhere"));
}

TEST_F(Library, TransactionsCommitAndRollBack) {
    exec("CREATE TABLE t (i INT)");
    ASSERT_EQ(fnVIRedAZExt_BeginTrans(db), 0);
    EXPECT_EQ(fnVIRedAZExt_BeginTrans(db), libstatus::kFailed);
    exec("INSERT INTO t VALUES (1)");
    ASSERT_EQ(fnVIRedAZExt_RollbackTrans(db), 0);
    ASSERT_EQ(fnVIRedAZExt_BeginTrans(db), 0);
    exec("INSERT INTO t VALUES (2)");
    ASSERT_EQ(fnVIRedAZExt_CommitTrans(db), 0);
    EXPECT_EQ(fnVIRedAZExt_CommitTrans(db), libstatus::kFailed);
    EXPECT_EQ(p.server.query("SELECT i FROM t", "PRODUCT"),
              std::vector<encrt::test_support::TextRow>{{std::string("2")}});
}
