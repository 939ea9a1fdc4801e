// The connection under the database and recordset classes, against the stand-in server through
// the FreeTDS ODBC driver.
#include "data/connection.h"
#include "data/database.h"
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
    std::shared_ptr<Connection> db = std::make_shared<Connection>();

    void SetUp() override {
        auto target = loginTarget(p.env().odbcDriver, p.serverName(), "PRODUCT", p.server.user(), p.server.password());
        ASSERT_TRUE(target);
        ASSERT_EQ(db->open(*target, 15), libstatus::kOk);
    }

    void exec(const std::string& sql) {
        std::int64_t n = 0;
        ASSERT_EQ(db->execute(sql, n), libstatus::kOk) << sql << ": " << db->lastErrorText();
    }
    std::unique_ptr<QRCDBS_RecordSet> open(const std::string& sql) {
        auto rs = std::make_unique<QRCDBS_RecordSet>(p.env());
        EXPECT_TRUE(rs->fnOpen(sql, db)) << db->lastErrorText();
        return rs;
    }
};

} // namespace

TEST_F(Library, LoginStateAndTheFormsOfLogin) {
    EXPECT_TRUE(db->isOpen());
    Connection other;
    auto wrong = loginTarget(p.env().odbcDriver, p.serverName(), "PRODUCT", p.server.user(), "wrong");
    EXPECT_EQ(other.open(*wrong, 15), libstatus::kFailed);
    EXPECT_FALSE(other.isOpen());
    EXPECT_FALSE(loginTarget("FreeTDS", "127.0.0.1,99999", "PRODUCT", "u", "p"));
    QRCDBS_DataBase typed(p.env());
    EXPECT_FALSE(typed.fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 2));

    // The OLE DB form maps onto the same driver, and so does a plain ODBC string.
    const std::string oleDb = "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + p.server.user() +
                              ";Password=" + p.server.password() + ";Data Source=" + p.serverName() +
                              ";Workstation ID=(local);";
    QRCDBS_DataBase byString(p.env());
    ASSERT_TRUE(byString.fnOpenEtc(oleDb));
    EXPECT_TRUE(byString.fnExecute("SELECT 1"));
    EXPECT_TRUE(byString.fnClose());
    std::int16_t status = 0;
    EXPECT_FALSE(byString.fnExecute("SELECT 1", nullptr, &status));
    ASSERT_TRUE(byString.fnOpenEtc(p.server.connectionString("PRODUCT")));
    EXPECT_FALSE(QRCDBS_DataBase(p.env()).fnOpenEtc("Provider=Other.1;Data Source=" + p.serverName()));

    db->close();
    std::int64_t n = 0;
    EXPECT_EQ(db->execute("SELECT 1", n), libstatus::kInvalidHandle);
    EXPECT_EQ(db->lastErrorCode(), hresult::kClosed);
}

TEST_F(Library, ExecuteReportsAffectedRows) {
    exec("CREATE TABLE t (i INT)");
    std::int64_t n = -5;
    ASSERT_EQ(db->execute("INSERT INTO t VALUES (1), (2), (3)", n), libstatus::kOk);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(db->execute("UPDATE t SET i = 0 WHERE i > 1; DELETE FROM t WHERE i = 1", n), libstatus::kOk);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(db->execute("DELETE FROM t WHERE i = 7", n), libstatus::kOk);
    EXPECT_EQ(n, 0);
}

TEST_F(Library, ExecuteExMapsServerErrorsAndShowsThemUnlessSilent) {
    QRCDBS_DataBase base(p.env());
    ASSERT_TRUE(base.fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 1));
    std::int32_t n = 0, code = 0;
    EXPECT_FALSE(base.fnExecuteEx("INSERT INTO nowhere VALUES (1)", &n, &code, true, 0));
    EXPECT_EQ(code, hresult::kErrorsInCommand);
    ASSERT_EQ(p.ui.lines.size(), 1u);
    EXPECT_THAT(p.ui.lines[0], StartsWith("MSGBOX\tcritical\tスケジュールバックアップ\t[FreeTDS][SQL Server]"));
    EXPECT_THAT(p.ui.lines[0], HasSubstr("nowhere"));

    EXPECT_FALSE(base.fnExecuteEx("SELEC 1", &n, &code, true, hresult::kErrorsInCommand));
    EXPECT_EQ(code, hresult::kErrorsInCommand);
    EXPECT_FALSE(base.fnExecuteEx("SELEC 1", &n, &code, false, 0));
    EXPECT_EQ(p.ui.lines.size(), 1u);

    // The connection stays usable and a success clears the code.
    EXPECT_TRUE(base.fnExecuteEx("CREATE TABLE t (i INT)", &n, &code, true, 0));
    EXPECT_EQ(code, 0);
}

TEST_F(Library, ValuesKeepTheirTypesJapaneseAndNull) {
    exec("CREATE TABLE 型 (名前 NVARCHAR(20), 数 INT, 小 SMALLINT, 微 TINYINT, 可否 BIT, 実数 FLOAT, 日時 DATETIME)");
    exec("INSERT INTO 型 VALUES (N'排他管理𠮷', -70000, -2, 255, 1, 2.5, '2026-12-03 02:00:00.997')");
    exec("INSERT INTO 型 VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    auto rs = open("SELECT * FROM 型 ORDER BY 数 DESC");
    EXPECT_EQ(rs->fnGetVariant(std::string("名前")), Variant(std::string("排他管理𠮷")));
    EXPECT_EQ(rs->fnGetVariant(std::string("数")), Variant(std::int64_t(-70000)));
    EXPECT_EQ(rs->fnGetVariant(2), Variant(std::int64_t(-2)));
    EXPECT_EQ(rs->fnGetVariant(3), Variant(std::int64_t(255)));
    EXPECT_EQ(rs->fnGetVariant(std::string("可否")), Variant(true));
    EXPECT_EQ(rs->fnGetVariant(std::string("実数")), Variant(2.5));
    EXPECT_EQ(rs->fnGetVariant(std::string("日時")), Variant(platform::makeLocalTime(2026, 12, 3, 2, 0, 1)));
    EXPECT_EQ(rs->fnGetVariant2(std::string("数"), int(VarType::String)), Variant(std::string("-70000")));
    EXPECT_EQ(rs->fnGetVariant(std::string("nosuch")), Variant(Empty{}));
    ASSERT_TRUE(rs->fnMoveNext());
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(isNull(rs->fnGetVariant(i))) << i;
    EXPECT_TRUE(rs->fnClose());
}

TEST_F(Library, ResultSetsMoveBothWaysAndRequeryOnlyOnTheirOwnLogin) {
    exec("CREATE TABLE t (i INT)");
    exec("INSERT INTO t VALUES (1), (2), (3)");
    auto rs = open("SELECT i FROM t ORDER BY i");
    EXPECT_EQ(rs->plRecordCount(), 3);
    EXPECT_FALSE(rs->pbBOF());
    EXPECT_TRUE(rs->fnMoveLast());
    EXPECT_EQ(rs->fnGetVariant(std::string("I")), Variant(std::int64_t(3)));
    EXPECT_TRUE(rs->fnMoveNext());
    EXPECT_TRUE(rs->pbEOF());
    EXPECT_EQ(rs->fnGetVariant(0), Variant(Empty{}));
    EXPECT_FALSE(rs->fnMoveNext());
    EXPECT_TRUE(rs->fnMovePrevious());
    EXPECT_EQ(rs->fnGetVariant(0), Variant(std::int64_t(3)));
    EXPECT_TRUE(rs->fnMoveFirst());
    EXPECT_TRUE(rs->fnMovePrevious());
    EXPECT_TRUE(rs->pbBOF());
    EXPECT_FALSE(rs->fnMovePrevious());

    exec("DELETE FROM t");
    EXPECT_TRUE(rs->fnRequery());
    EXPECT_TRUE(rs->pbBOF());
    EXPECT_TRUE(rs->pbEOF());
    EXPECT_FALSE(rs->fnMoveFirst());
    EXPECT_FALSE(rs->fnAddNew());

    // A query that fails, also by a later statement of its batch, opens nothing.
    EXPECT_FALSE(QRCDBS_RecordSet(p.env()).fnOpen("SELECT * FROM nowhere", db));
    EXPECT_THAT(db->lastErrorText(), HasSubstr("nowhere"));
    EXPECT_FALSE(QRCDBS_RecordSet(p.env()).fnOpen("SELECT i FROM t; SELECT * FROM elsewhere", db));
    EXPECT_THAT(db->lastErrorText(), HasSubstr("elsewhere"));

    // Rows read before the database closed stay readable; a requery needs that login.
    QRCDBS_DataBase base(p.env());
    ASSERT_TRUE(base.fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 1));
    ASSERT_TRUE(base.fnExecute("INSERT INTO t VALUES (5)"));
    auto kept = base.fnOpenRecordSet("SELECT i FROM t");
    ASSERT_NE(kept, nullptr);
    ASSERT_TRUE(base.fnClose());
    ASSERT_TRUE(base.fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 1));
    EXPECT_FALSE(kept->fnRequery());
    EXPECT_EQ(kept->fnGetInt(0), 5);
}

TEST_F(Library, TransactionsCommitAndRollBack) {
    exec("CREATE TABLE t (i INT)");
    ASSERT_EQ(db->beginTransaction(), libstatus::kOk);
    EXPECT_EQ(db->beginTransaction(), libstatus::kFailed);
    exec("INSERT INTO t VALUES (1)");
    ASSERT_EQ(db->endTransaction(false), libstatus::kOk);
    ASSERT_EQ(db->beginTransaction(), libstatus::kOk);
    exec("INSERT INTO t VALUES (2)");
    ASSERT_EQ(db->endTransaction(true), libstatus::kOk);
    EXPECT_EQ(db->endTransaction(true), libstatus::kFailed);
    EXPECT_EQ(p.server.query("SELECT i FROM t", "PRODUCT"), std::vector<testsupport::TextRow>{{std::string("2")}});
}
