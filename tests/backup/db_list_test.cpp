// The server's database list through the product connection, against the stand-in server.
#include "backup/db_list.h"

#include "data/database.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "support/product_server.h"

#include <gtest/gtest.h>

namespace {

struct DbList : ::testing::Test {
    testsupport::ProductServer p; // the server holds PRODUCT besides the four system databases
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{p.clock, p.ui, files, p.dir.path()};
    core::DbSession session;

    void connect(const std::string& database) {
        session.database = std::make_shared<data::QRCDBS_DataBase>(ctx.dataEnv());
        ASSERT_TRUE(session.database->fnOpen(p.serverName(), database, p.server.user(), p.server.password(), 1));
    }
};

} // namespace

TEST_F(DbList, UserDatabasesInNameOrderWithTrimmedSystemNamesLeftOut) {
    p.debugOn();
    p.server.createDatabase("SALES");
    p.server.createDatabase("ACCOUNTS");
    // CREATE DATABASE refuses names with blanks at either end; the server lists every file of
    // its data folder as a database, so such a name is made by placing its file there.
    std::filesystem::copy_file(p.server.dataDir() / "SALES.sqlite", p.server.dataDir() / " master .sqlite");
    ASSERT_EQ(p.server.query("SELECT name FROM master..sysdatabases WHERE name = ' master '").size(), 1u);
    connect("master");
    session.serverDatabases = {"stale"};
    ASSERT_TRUE(backup::fnLoadDBList(ctx, session));
    EXPECT_EQ(session.serverDatabases, (std::vector<std::string>{"ACCOUNTS", "PRODUCT", "SALES"}));
    EXPECT_TRUE(p.ui.lines.empty());
    const std::string query = "SELECT name FROM master..sysdatabases  Where  LTrim(RTrim(name)) <> 'master' AND "
                              "LTrim(RTrim(name)) <> 'tempdb' AND LTrim(RTrim(name)) <> 'msdb' AND LTrim(RTrim(name)) "
                              "<> 'model' ORDER BY name;";
    EXPECT_EQ(backup::kDatabaseListQuery, query);
    EXPECT_EQ(p.log("DBS_RECORDSET.LOG"),
              platform::toCp932("-----<<< 2026/12/03 02:00:00 >>> -----\r\n" + query + "\r\nname\t\r\n" +
                                "ACCOUNTS\t\r\nPRODUCT\t\r\nSALES\t\r\n\r\n"));
}

TEST_F(DbList, OnlySystemDatabasesGiveMessage3004) {
    p.server.execute("DROP DATABASE [PRODUCT]");
    connect("master");
    EXPECT_FALSE(backup::fnLoadDBList(ctx, session));
    EXPECT_TRUE(session.serverDatabases.empty());
    EXPECT_EQ(p.ui.lines, std::vector<std::string>{"MESSAGE\t3004\tデータベース\t\t"});
}

TEST_F(DbList, AListThatCannotBeReadGivesMessage3001) {
    EXPECT_FALSE(backup::fnLoadDBList(ctx, session)); // no connection object at all
    connect("PRODUCT");
    session.database->fnClose();
    EXPECT_FALSE(backup::fnLoadDBList(ctx, session));
    EXPECT_EQ(p.ui.lines, std::vector<std::string>(2, "MESSAGE\t3001\tデータベース一覧の取得\t\t"));

    std::vector<std::string> untouched{"kept"};
    EXPECT_FALSE(backup::fnGetDBList(nullptr, untouched));
    EXPECT_EQ(untouched, std::vector<std::string>{"kept"});
}
