// The product connection: login from MSDE_DBTOOL.INI, server from ZUZOR.INI.
#include "core/connection.h"
#include "platform/local_filesystem.h"

#include "common/password.h"
#include "data/database.h"
#include "support/product_server.h"

#include <gtest/gtest.h>

using namespace core;

namespace {

struct ProductConnection : ::testing::Test {
    testsupport::ProductServer p;
    const platform::LocalFileSystem files;
    ProgramContext ctx{p.clock, p.ui, files, p.dir.path()};
    DbSession session;

    void login(const std::string& user, const std::string& password) {
        const auto key = common::passwordKeyPath(p.dir.path());
        ASSERT_FALSE(common::ensurePasswordKey(key));
        const std::string stored = password.empty() ? "" : common::encipherPassword(key, password).value();
        testsupport::writeFile(p.dir / "MSDE_DBTOOL.INI",
                               "[(local)]\r\nUSER_NAME=" + user + "\r\nPASSWORD=" + stored + "\r\n");
    }
};

} // namespace

TEST_F(ProductConnection, OpensTheSessionsConnectionAndKeepsTheLoginUntilReleased) {
    login(p.server.user(), p.server.password());
    ASSERT_TRUE(fnGetDbObject(ctx, session));
    ASSERT_NE(session.database, nullptr);
    EXPECT_EQ(session.database->psDataBaseName(), "PRODUCT");
    EXPECT_EQ(session.user, p.server.user());
    EXPECT_EQ(session.password, p.server.password());
    EXPECT_TRUE(session.database->fnExecute("CREATE TABLE t (i INT)"));

    // A second call replaces the object with a fresh connection.
    const auto first = session.database;
    ASSERT_TRUE(fnGetDbObject(ctx, session));
    EXPECT_NE(session.database, first);
    EXPECT_TRUE(p.ui.lines.empty());

    // Whoever needs the server after a release logs in again: the password goes with the connection.
    session.release();
    EXPECT_EQ(session.database, nullptr);
    EXPECT_EQ(session.password, "");
    EXPECT_EQ(session.user, p.server.user());
}

TEST_F(ProductConnection, AWrongPasswordGivesFalseWithoutAMessage) {
    login(p.server.user(), "not-the-password");
    EXPECT_FALSE(fnGetDbObject(ctx, session));
    ASSERT_NE(session.database, nullptr); // already replaced
    EXPECT_FALSE(session.database->fnExecute("SELECT 1"));
    EXPECT_EQ(session.user, "");
    EXPECT_EQ(session.password, "");
    EXPECT_TRUE(p.ui.lines.empty());
}

TEST_F(ProductConnection, MissingLoginKeysAreReportedBeforeAnyConnection) {
    struct Case {
        std::string user, password;
        const char* item;
    };
    for (const Case& c : {Case{"   ", "pw", "データベースログインユーザ"},
                          Case{p.server.user(), "", "データベースログインパスワード"}}) {
        p.ui.lines.clear();
        login(c.user, c.password);
        const auto db = fnGetDbObject(ctx, session);
        EXPECT_FALSE(db);
        EXPECT_EQ(session.database, nullptr);
        EXPECT_TRUE(p.ui.lines.empty()); // the caller reports it
        reportDbObjectFailure(p.ui, db.failure);
        EXPECT_EQ(p.ui.lines,
                  std::vector<std::string>{"MESSAGE\t3001\tINIファイル情報の取得\t" + std::string(c.item) + "\t"});
    }
    // A stored text that does not decipher is not tried as an empty password.
    p.ui.lines.clear();
    testsupport::writeFile(p.dir / "MSDE_DBTOOL.INI", "[(local)]\r\nUSER_NAME=sa\r\nPASSWORD=ENCRT1:AAAA\r\n");
    std::string user, password = "x";
    const auto failure = fnGetDbLogin(ctx, user, password);
    EXPECT_EQ(failure, DbObjectFailure::PasswordMissing);
    EXPECT_EQ(password, "");
    reportDbObjectFailure(p.ui, failure);
    EXPECT_EQ(p.ui.lines,
              std::vector<std::string>{"MESSAGE\t3001\tINIファイル情報の取得\tデータベースログインパスワード\t"});
}

TEST_F(ProductConnection, NoProgramFolderMeansNoSettingsFile) {
    ProgramContext nowhere{p.clock, p.ui, files, {}};
    const auto db = fnGetDbObject(nowhere, session);
    EXPECT_EQ(db.failure, DbObjectFailure::ScheduleIniMissing);
    reportDbObjectFailure(p.ui, db.failure);
    EXPECT_EQ(p.ui.lines, std::vector<std::string>{"MESSAGE\t3001\tINIファイルパスの取得\tMSDE_DBTOOL.INI\t"});
}
