#include "data/connection_string.h"

#include <gtest/gtest.h>

using namespace data;

TEST(ServerName, HostPortAndInstanceForms) {
    struct Case {
        const char* name;
        const char* host;
        const char* instance;
        std::optional<int> port;
    };
    for (const Case& c : {
             Case{"dbhost", "dbhost", "", std::nullopt},
             Case{" dbhost , 1444 ", "dbhost", "", 1444},
             Case{"dbhost\\SQLEXPRESS", "dbhost", "SQLEXPRESS", std::nullopt},
             Case{"(LOCAL)", "127.0.0.1", "", std::nullopt},
             Case{".\\SABRE,1500", "127.0.0.1", "SABRE", 1500},
             Case{"", "127.0.0.1", "", std::nullopt},
         }) {
        const auto a = parseServerName(c.name);
        ASSERT_TRUE(a) << c.name;
        EXPECT_EQ(a->host, c.host) << c.name;
        EXPECT_EQ(a->instance, c.instance) << c.name;
        EXPECT_EQ(a->port, c.port) << c.name;
    }
    for (const char* bad : {"host,", "host,0", "host,65536", "host,12x", "host\\"})
        EXPECT_FALSE(parseServerName(bad)) << bad;
}

TEST(OdbcConnectionString, FreeTdsFormsCarryPortOrInstanceAndUtf8) {
    OdbcTarget t{"FreeTDS", *parseServerName("(local),1533"), "PRODUCT", "sa", "secret"};
    EXPECT_EQ(buildOdbcConnectionString(t), "Driver=FreeTDS;Server=127.0.0.1;Port=1533;Database=PRODUCT;UID=sa;"
                                            "PWD=secret;TDS_Version=7.4;ClientCharset=UTF-8;");
    t.server = *parseServerName("db\\SABRE");
    EXPECT_EQ(buildOdbcConnectionString(t), "Driver=FreeTDS;Server=db\\SABRE;Database=PRODUCT;UID=sa;PWD=secret;"
                                            "TDS_Version=7.4;ClientCharset=UTF-8;");
    t.driver = "/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
    t.server = *parseServerName("db");
    EXPECT_NE(buildOdbcConnectionString(t)->find(";Server=db;Port=1433;"), std::string::npos);
}

TEST(OdbcConnectionString, OtherDriversGetHostCommaPortAndDoubledBraces) {
    const OdbcTarget t{"ODBC Driver 18 for SQL Server", *parseServerName("db"), "P", "u", "p}w;d"};
    EXPECT_EQ(buildOdbcConnectionString(t), "Driver={ODBC Driver 18 for SQL Server};Server=db,1433;Database=P;UID=u;"
                                            "PWD={p}}w;d};");
}

// FreeTDS ends a braced value at the first "};" and un-doubles nothing.
TEST(OdbcConnectionString, FreeTdsValuesGoInBracesAsTheyStand) {
    for (std::string password : {"a;b", "x}y", "{z}", " lead", "trail ", "ends}", "plain=ok"}) {
        const OdbcTarget t{"FreeTDS", *parseServerName("db"), "P", "u", password};
        const auto s = buildOdbcConnectionString(t);
        ASSERT_TRUE(s) << password;
        EXPECT_EQ(findOdbcValue(*s, "pwd"), password) << *s;
        EXPECT_EQ(findOdbcValue(*s, "ClientCharset"), "UTF-8") << *s;
    }
    EXPECT_EQ(quoteFreeTdsValue("x}y"), "{x}y}");
    EXPECT_EQ(quoteFreeTdsValue("plain"), "plain");
    const OdbcTarget t{"FreeTDS", *parseServerName("db"), "P", "u", "a};b"};
    EXPECT_FALSE(buildOdbcConnectionString(t));
}

TEST(OleDbString, StageStringMapsOntoTheOdbcDriver) {
    int timeout = 15;
    const std::string oleDb = "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Password=\"p;w\"\"d\";"
                              "Data Source=(local);Workstation ID=(local);";
    const auto t = odbcTargetFromOleDb(oleDb, "FreeTDS", timeout);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->user, "sa");
    EXPECT_EQ(t->password, "p;w\"d");
    EXPECT_EQ(t->server.host, "127.0.0.1");
    EXPECT_EQ(t->database, "");
    EXPECT_EQ(timeout, 15);

    EXPECT_TRUE(odbcTargetFromOleDb("Provider=SQLOLEDB.1;Data Source=h,1500;Initial Catalog=P;Connect Timeout=5",
                                    "FreeTDS", timeout));
    EXPECT_EQ(timeout, 5);
    EXPECT_FALSE(odbcTargetFromOleDb("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c:\\a.mdb", "FreeTDS", timeout));
    EXPECT_FALSE(odbcTargetFromOleDb("Provider=SQLOLEDB.1;Password=\"open", "FreeTDS", timeout));
    EXPECT_FALSE(odbcTargetFromOleDb("Provider=SQLOLEDB.1;Data Source=h,port", "FreeTDS", timeout));
}
