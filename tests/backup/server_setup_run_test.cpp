// Whole scheduled runs against servers set up as SQL Server 2022 may be: encrypting the login or
// every connection, and installed with a Latin collation while the product database is Japanese.
#include "support/run_site.h"

#include <gtest/gtest.h>

using platform::makeLocalTime;
using testsupport::RunSite;

namespace {

const std::string S = "\u3000";

std::string success(const std::string& database, const std::string& file) {
    return "結果：成功" + S + "DB名：" + database + S + "ﾊﾞｯｸｱｯﾌﾟﾌｧｲﾙ名：" + file;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace

// The program's connection (the tick's, with the database list and the lock rows) and the
// database stage's own connection log in through FreeTDS, whose default asks for at least an
// encrypted login: a server that encrypts only the login and one that forces encryption of
// everything (and refuses clients that cannot) both serve the whole run.
TEST(ServerSetup, ARunGoesThroughOverAnEncryptedLoginAndOverFullEncryption) {
    for (const char* mode : {"login", "required"}) {
        SCOPED_TRACE(mode);
        RunSite site({.extraArguments = {"--encrypt", mode}});
        site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 0));
        EXPECT_TRUE(site.ui.lines.empty()) << site.ui.lines.front();
        const std::string folder = site.backupDir() + "/SALES/";
        EXPECT_TRUE(contains(site.dailyLog(), success("SALES", folder + "SALES_20261203020000_INIT.DAT")));
        EXPECT_TRUE(std::filesystem::exists(site.backupDir() + "/MASTER_20261203020000_INIT.DAT"));
        EXPECT_TRUE(site.lockRows().empty());
        EXPECT_NE(site.setting("BACKUPTIME", "START"), "");
    }
}

// A server installed with SQL_Latin1_General_CP1_CI_AS (the Linux installer's default) holds a
// database with a Japanese name: the procedure's arguments arrive whole only as N'...' literals,
// since master's code page 1252 has no Japanese and turns a plain literal into "??".
TEST(ServerSetup, AJapaneseDatabaseIsBackedUpOnAServerWithALatinCollation) {
    RunSite site({.extraArguments = {"--collation", "SQL_Latin1_General_CP1_CI_AS"}});
    // The product database keeps the collation its texts need.
    site.server.execute("DROP DATABASE SABRELUND; CREATE DATABASE SABRELUND COLLATE Japanese_CI_AS");
    site.server.loadProductSchema("SABRELUND");
    site.server.createDatabase("販売");
    site.ini["Schedule"]["Db"] = "SABRELUND\t販売";
    site.applySettings();

    site.tickAt(makeLocalTime(2026, 12, 3, 2, 0, 0));
    EXPECT_TRUE(site.ui.lines.empty()) << site.ui.lines.front();
    const std::string file = site.backupDir() + "/販売/販売_20261203020000_INIT.DAT";
    EXPECT_TRUE(contains(site.dailyLog(), success("販売", file)));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_TRUE(site.lockRows().empty()); // the lock row's plain literals kept their bytes in SABRELUND

    testsupport::OdbcSession master(site.server.connectionString());
    const auto plain =
        master.run("master..SSP_BackUPDB '販売', '" + site.backupDir() + "/x.DAT', 'INIT', 'x', '2026/12/03 02:00:00'");
    ASSERT_FALSE(plain.diagnostics.empty());
    EXPECT_NE(plain.diagnostics[0].message.find("'?"
                                                "?'"),
              std::string::npos)
        << plain.diagnostics[0].message;
}
