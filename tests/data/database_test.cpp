// The connection and recordset classes against the stand-in server.
#include "data/ado_connection.h"
#include "data/connection.h"
#include "data/database.h"

#include "common/password.h"
#include "platform/codepage.h"
#include "support/product_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using data::QRCDBS_DataBase;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

struct Classes : ::testing::Test {
    testsupport::ProductServer p;

    std::unique_ptr<QRCDBS_DataBase> connect() {
        auto db = std::make_unique<QRCDBS_DataBase>(p.env());
        EXPECT_TRUE(db->fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 1));
        return db;
    }
    std::string zuzor() const { return testsupport::readFile(p.dir / "ZUZOR.INI"); }
};

std::string cp932(std::string_view utf8) {
    return platform::toCp932(utf8);
}

} // namespace

TEST_F(Classes, ASecondOpenKeepsTheFirstConnectionAndItsProperties) {
    auto db = connect();
    EXPECT_EQ(db->psServerName(), p.serverName());
    EXPECT_EQ(db->psPassWord(), p.server.password());
    EXPECT_TRUE(db->fnOpen("elsewhere", "OTHER", "x", "y", 1));
    EXPECT_EQ(db->psDataBaseName(), "PRODUCT");
    EXPECT_EQ(db->psUserName(), p.server.user());
    EXPECT_TRUE(db->fnExecute("CREATE TABLE t (i INT)"));
    EXPECT_TRUE(db->fnClose());
    EXPECT_FALSE(db->fnExecute("INSERT INTO t VALUES (1)"));
}

TEST_F(Classes, AWrongPasswordGivesFalseAndLeavesNoTraceOfThePassword) {
    p.debugOn();
    QRCDBS_DataBase db(p.env());
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(db.fnOpen(p.serverName(), "PRODUCT", p.server.user(), "Wr0ng;Pass}word", 1));
    EXPECT_FALSE(db.fnExecuteEx("INSERT INTO 排他管理 (テーブル名称) VALUES (N'x')"));
    platform::HeadlessUiSink().messageBox("after", "", platform::MsgIcon::Critical);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("after"));
    EXPECT_EQ(db.psPassWord(), "");
    EXPECT_EQ(db.psServerName(), "");
    for (const std::string& text : {err, p.log("DBS_DATABASE.LOG"), testsupport::readFile(p.dir / "ZUZOR.INI")})
        EXPECT_EQ(text.find("Wr0ng"), std::string::npos) << text;
    for (const auto& line : p.ui.lines)
        EXPECT_EQ(line.find("Wr0ng"), std::string::npos) << line;
}

TEST_F(Classes, WithoutAConnectionNothingRunsButStatementsAreStillLogged) {
    p.debugOn();
    QRCDBS_DataBase db(p.env());
    EXPECT_TRUE(db.fnClose());
    std::int32_t affected = 7;
    std::int16_t status = 7;
    EXPECT_FALSE(db.fnExecute("UPDATE 年度Ｍ SET a = 1", &affected, &status));
    EXPECT_EQ(affected, 0);
    EXPECT_EQ(status, 0);
    std::int32_t code = 7;
    EXPECT_FALSE(db.fnExecuteEx("DELETE FROM t", &affected, &code));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(db.fnOpenRecordSet("SELECT 1"), nullptr);
    EXPECT_NE(db.fnBeginTrans(), 0);
    EXPECT_FALSE(db.fnCommitTrans());
    EXPECT_FALSE(db.fnOpenFile("Driver=FreeTDS;x=", p.dir.path().string()));
    EXPECT_EQ(p.log("DBS_DATABASE.LOG"), cp932("UPDATE 年度Ｍ SET a = 1\r\nDELETE FROM t\r\n"));
    EXPECT_THAT(zuzor(), Not(HasSubstr("BackupFlag")));
}

TEST_F(Classes, OnlyASuccessfulExecuteSetsTheChangeMarker) {
    auto db = connect();
    ASSERT_TRUE(db->fnExecute("CREATE TABLE 年度Ｍ (年度 INT)"));
    EXPECT_FALSE(db->fnExecute("INSERT INTO 年度Ｍ VALUES (1, 2)"));
    EXPECT_TRUE(db->fnExecuteEx("INSERT INTO 年度Ｍ VALUES (2026)"));
    EXPECT_TRUE(db->fnExecute("Insert into 排他管理 (テーブル名称) Values ('バックアップ')"));
    EXPECT_THAT(zuzor(), Not(HasSubstr("BackupFlag")));
    std::int32_t affected = 0;
    EXPECT_TRUE(db->fnExecute("DELETE FROM 年度Ｍ WHERE 年度 = 2026", &affected));
    EXPECT_EQ(affected, 1);
    EXPECT_THAT(zuzor(), HasSubstr("[SABRELUND]\r\nBackupFlag=1\r\n"));
}

TEST_F(Classes, TypedGettersGiveTheirDefaultsForNullAndUnconvertibleValues) {
    auto db = connect();
    ASSERT_TRUE(db->fnExecute("CREATE TABLE v (s NVARCHAR(10), i INT, b BIT, d DATETIME, f FLOAT)"));
    ASSERT_TRUE(db->fnExecute("INSERT INTO v VALUES (NULL, NULL, NULL, NULL, NULL)"));
    ASSERT_TRUE(db->fnExecute("INSERT INTO v VALUES (N'abc', 70000, 1, '2026-12-03 02:00:00', 1.25)"));
    auto rs = db->fnOpenRecordSet("SELECT * FROM v ORDER BY i");
    ASSERT_NE(rs, nullptr);
    EXPECT_EQ(rs->plRecordCount(), 2);
    EXPECT_EQ(rs->fnGetChar(std::string("s")), "");
    EXPECT_EQ(rs->fnGetInt(std::string("i")), 0);
    EXPECT_FALSE(rs->fnGetBit(std::string("b")));
    EXPECT_EQ(rs->fnGetDate(std::string("d")), platform::makeLocalTime(1899, 12, 30));
    EXPECT_EQ(rs->fnGetHdouble(std::string("f")), 0.0);
    EXPECT_TRUE(data::isNull(rs->fnGetVariant(std::string("s"))));
    ASSERT_TRUE(rs->fnMoveNext());
    EXPECT_EQ(rs->fnGetInt(std::string("s")), 0);      // "abc" is no number
    EXPECT_EQ(rs->fnGetSmallInt(std::string("i")), 0); // 70000 does not fit
    EXPECT_EQ(rs->fnGetInt(std::string("i")), 70000);
    EXPECT_EQ(rs->fnGetChar(std::string("i")), "70000");
    EXPECT_TRUE(rs->fnGetBit(std::string("b")));
    EXPECT_EQ(rs->fnGetMoney(std::string("f")), 12500);
    EXPECT_EQ(rs->fnGetDate(std::string("d")), platform::makeLocalTime(2026, 12, 3, 2, 0, 0));
    EXPECT_FALSE(rs->fnSetVariant(0, data::Variant(std::int64_t(1))));
    EXPECT_TRUE(rs->fnMoveNext());
    EXPECT_TRUE(rs->pbEOF());
    EXPECT_FALSE(rs->fnMoveNext());
    EXPECT_TRUE(rs->fnClose());
    EXPECT_TRUE(rs->pbEOF());
    EXPECT_EQ(rs->fnGetChar(0), "");
    EXPECT_EQ(rs->fnGetVariant(0), data::Variant(data::Empty{}));

    data::QRCDBS_RecordSet failed(p.env());
    EXPECT_FALSE(failed.fnOpen("SELECT * FROM nowhere", std::make_shared<data::Connection>()));
    EXPECT_TRUE(failed.pbEOF());
    EXPECT_TRUE(failed.pbBOF());
}

TEST_F(Classes, RecordsetDebugLogShowsQueryColumnsAndTheValuesRead) {
    p.debugOn();
    auto db = connect();
    ASSERT_TRUE(db->fnExecute("CREATE TABLE v (a NVARCHAR(10), b INT, c DATETIME)"));
    ASSERT_TRUE(db->fnExecute("INSERT INTO v VALUES (N'一', 1, '2026-12-01 10:00:00'), (NULL, 2, NULL)"));
    const std::string sql = "SELECT a, b,c FROM v ORDER BY b";
    auto rs = db->fnOpenRecordSet(sql);
    ASSERT_NE(rs, nullptr);
    EXPECT_TRUE(rs->fnOpen(sql, nullptr)); // already open: logs again, changes nothing
    while (!rs->pbEOF()) {
        rs->fnGetChar(std::string("a"));
        rs->fnGetInt(std::string("b"));
        rs->fnGetDate(std::string("c"));
        rs->fnMoveNext();
    }
    rs->fnClose();
    p.clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(db->fnOpenRecordSet("SELECT * FROM nowhere"), nullptr);
    EXPECT_NE(db->fnOpenRecordSet("SELECT 1"), nullptr);

    const std::string header = "-----<<< 2026/12/03 02:00:00 >>> -----\r\n";
    const std::string later = "-----<<< 2026/12/03 02:00:01 >>> -----\r\n";
    EXPECT_EQ(p.log("DBS_RECORDSET.LOG"),
              cp932(header + sql + "\r\na\t b\tc\t\r\n" + header + sql + "\r\na\t b\tc\t\r\n" +
                    "一\t1\t2026/12/01 10:00:00\t\r\n\t2\t1899/12/30 00:00:00\t\r\n\r\n" + later +
                    "SELECT * FROM nowhere\r\n*\t\r\nレコードセットオープン失敗ステータス = 2 lRecordSet = 0\r\n" +
                    later + "SELECT 1\r\n\r\n"));
    EXPECT_EQ(p.log("DBS_DATABASE.LOG"),
              cp932("CREATE TABLE v (a NVARCHAR(10), b INT, c DATETIME)\r\n"
                    "INSERT INTO v VALUES (N'一', 1, '2026-12-01 10:00:00'), (NULL, 2, NULL)\r\n"));
}

TEST_F(Classes, OpenFromIniReadsTheProgramSettingsAndDeciphersThePassword) {
    const auto key = common::passwordKeyPath(p.dir.path());
    ASSERT_FALSE(common::ensurePasswordKey(key));
    const auto stored = common::encipherPassword(key, p.server.password());
    ASSERT_TRUE(stored);
    QRCDBS_DataBase db(p.env());
    ASSERT_EQ(std::filesystem::path(db.gsIniPath).parent_path(), p.dir.path());
    testsupport::writeFile(db.gsIniPath, "[DATABASE]\r\nSERVER_NAME=" + p.serverName() +
                                             "\r\nDB_NAME=PRODUCT\r\nUSER_NAME=" + p.server.user() +
                                             "\r\nPASSWORD=" + *stored + "   \r\n");
    EXPECT_TRUE(db.fnOpenFromIni("", "", "", "", "", "", 0));
    EXPECT_EQ(db.glDataBaseType, 1);
    EXPECT_EQ(db.psPassWord(), p.server.password());

    QRCDBS_DataBase other(p.env());
    EXPECT_FALSE(other.fnOpenFromIni("", "NOSECTION"));
    EXPECT_EQ(other.gsIniSection, "NOSECTION");
}

TEST_F(Classes, StageConnectionRunsStatementsWithItsOwnTimeout) {
    data::AdoConnection ado(p.env());
    EXPECT_EQ(ado.Execute("SELECT 1").description, "Operation is not allowed when the object is closed.");
    const auto refused = ado.Open(p.serverName(), p.server.user(), "x;wrong");
    EXPECT_FALSE(refused.ok);
    EXPECT_THAT(refused.description, HasSubstr("Login failed for user"));
    EXPECT_EQ(ado.Execute("SELECT 1").description, refused.description);

    ASSERT_TRUE(ado.Open(p.serverName(), p.server.user(), p.server.password()).ok);
    EXPECT_EQ(ado.CommandTimeout(), 30);
    EXPECT_TRUE(ado.Execute("CREATE TABLE t (i INT)").ok);
    EXPECT_EQ(ado.Execute("INSERT INTO t VALUES (1), (2)").recordsAffected, 2);
    const auto failed = ado.Execute("master..SSP_BackUPDB 'nosuch', 'x', 'INIT', 'l', 'r'");
    EXPECT_FALSE(failed.ok);
    EXPECT_THAT(failed.description, StartsWith("[FreeTDS][SQL Server]"));
    ado.CommandTimeout(1);
    const auto slow = ado.Execute("WAITFOR DELAY '00:00:03'");
    EXPECT_FALSE(slow.ok);
    EXPECT_FALSE(slow.description.empty());
    ado.CommandTimeout(5);
    EXPECT_TRUE(ado.Execute("WAITFOR DELAY '00:00:00.100'").ok);
    ado.Close();
    EXPECT_FALSE(ado.Execute("SELECT 1").ok);
}
