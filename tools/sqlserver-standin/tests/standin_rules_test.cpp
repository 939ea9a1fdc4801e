// The rules the stand-in applies, checked without a connection: collations, code pages, DECIMAL
// and DATETIME2 values, the encryption answer to PRELOGIN, and what it reads from T-SQL (result
// columns, values written to columns, comparisons).

#include "catalog.h"
#include "collation.h"
#include "datetime.h"
#include "decimal.h"
#include "reply.h"
#include "tds_login.h"
#include "tds_tokens.h"
#include "tsql_expressions.h"
#include "tsql_select.h"
#include "tsql_writes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

using namespace standin;
using testing::ElementsAre;

std::string joined(const std::vector<Token>& tokens) {
    std::string text;
    for (const Token& t : tokens) {
        text += t.text;
    }
    return text;
}

Collation named(const char* name) {
    const auto collation = findCollation(name);
    if (!collation) {
        throw std::invalid_argument(name);
    }
    return *collation;
}

// [MS-TDS 2.2.5.1.2]: LCID, then the ignore-case, -accent, -kana, -width and binary flags, then
// the SQL sort order (52 for SQL_Latin1_General_CP1_CI_AS).
TEST(CollationNames, SpellingCodePageAndTdsBytes) {
    struct Row {
        const char* name;
        const char* canonical;
        int codePage;
        std::array<std::uint8_t, 5> bytes;
    };
    for (const Row& row : std::initializer_list<Row>{
             {"Japanese_CI_AS", "Japanese_CI_AS", 932, {0x11, 0x04, 0xD0, 0x00, 0x00}},
             {"japanese_cs_as_ks_ws", "Japanese_CS_AS_KS_WS", 932, {0x11, 0x04, 0x00, 0x00, 0x00}},
             {"Japanese_CI_AI_WS", "Japanese_CI_AI_WS", 932, {0x11, 0x04, 0x70, 0x00, 0x00}},
             {"Japanese_BIN2", "Japanese_BIN2", 932, {0x11, 0x04, 0x00, 0x02, 0x00}},
             {"SQL_Latin1_General_CP1_CI_AS", "SQL_Latin1_General_CP1_CI_AS", 1252, {0x09, 0x04, 0xD0, 0x00, 0x34}},
             {"Latin1_General_CS_AS", "Latin1_General_CS_AS", 1252, {0x09, 0x04, 0xC0, 0x00, 0x00}},
         }) {
        SCOPED_TRACE(row.name);
        const Collation collation = named(row.name);
        EXPECT_EQ(collation.name(), row.canonical);
        EXPECT_EQ(collation.codePage(), row.codePage);
        EXPECT_EQ(collation.tdsBytes(), row.bytes);
        EXPECT_EQ(Collation::fromCode(collation.code()), collation);
    }
    for (const char* refused : {"Japanese", "Japanese_CI", "Japanese_XI_AS", "Japanese_CI_AS_WS_KS", "Japanese_BIN3",
                                "SQL_Latin1_General_CP1_CS_AI", "SQL_Latin1_General_CP1_BIN", "Klingon_CI_AS"}) {
        EXPECT_FALSE(findCollation(refused)) << refused;
    }
    EXPECT_FALSE(Collation::fromCode(0)) << "a file that keeps no collation";
}

TEST(CollationComparisons, WhatEachCollationTellsApart) {
    struct Row {
        const char* collation;
        const char* a;
        const char* b;
        int sign;
    };
    for (const Row& row : std::initializer_list<Row>{
             {"Japanese_CI_AS", "abc  ", "abc", 0},
             {"Japanese_CI_AS", "abc\xE3\x80\x80", "abc", 1}, // an ideographic space is not padding
             {"Japanese_CI_AS", "ÄBC", "äbc", 0},
             {"Japanese_CI_AS", "äbc", "abc", 1},
             {"Japanese_CI_AS", "ΑΒΓ", "αβγ", 0},
             {"Japanese_CI_AS", "ЖЁ", "жё", 0},
             {"Japanese_CI_AS", "ｱｲｳ", "あいう", 0},
             {"Japanese_CI_AS", "ﾎﾟﾝﾄﾞ", "ポンド", 0},
             {"Japanese_CI_AS", "ｳﾞｧ", "ヴァ", 0},
             {"Japanese_CI_AS", "Ｘ１", "x1", 0},
             {"Japanese_CI_AS", "apple", "Banana", -1},
             {"Japanese_CS_AS", "abc", "ABC", 1},
             {"Japanese_CI_AS_KS", "あ", "ア", -1},
             {"Japanese_CI_AS_WS", "ａ", "a", 1},
             {"Japanese_CI_AI", "résumé", "RESUME", 0},
             {"Japanese_BIN2", "abc  ", "abc", 0},
             {"Japanese_BIN2", "B", "a", -1},
         }) {
        SCOPED_TRACE(std::string(row.collation) + ": '" + row.a + "' vs '" + row.b + "'");
        const int result = compareText(named(row.collation), row.a, row.b);
        EXPECT_EQ((result > 0) - (result < 0), row.sign);
        const int reverse = compareText(named(row.collation), row.b, row.a);
        EXPECT_EQ((reverse > 0) - (reverse < 0), -row.sign) << "the order is the same both ways";
    }
}

TEST(CodePages, TextAsTheCollationsCodePageHoldsIt) {
    const Collation japanese = named("Japanese_CI_AS"), latin = named("SQL_Latin1_General_CP1_CI_AS");
    EXPECT_EQ(toCodePage(japanese, "ｶﾀｶﾅ と 漢字"), "ｶﾀｶﾅ と 漢字");
    EXPECT_EQ(toCodePage(japanese, "𠮷野家 한"), "?野家 ?");
    EXPECT_EQ(toCodePage(latin, "café 日本"), "café ??");
    EXPECT_EQ(codePageBytes(japanese, "aｱあ"), 4u) << "half-width kana is one byte, hiragana two";
    EXPECT_EQ(codePageBytes(latin, "café"), 4u);
}

TEST(DecimalValues, RoundedHalfAwayFromZeroToTheScale) {
    struct Row {
        const char* text;
        int scale;
        std::optional<std::string> value;
    };
    for (const Row& row : std::initializer_list<Row>{
             {"1.005", 2, "1.01"},
             {"-1.005", 2, "-1.01"},
             {"1.004999", 2, "1.00"},
             {" 12 ", 2, "12.00"},
             {"0.5", 0, "1"},
             {"-0.4", 0, "0"},
             {"1e3", 1, "1000.0"},
             {"2.5E-2", 2, "0.03"},
             {"9e-3", 2, "0.01"},
             {"+.5", 1, "0.5"},
             {"12345678901234567890123456789012345678", 0, "12345678901234567890123456789012345678"},
             {"123456789012345678901234567890123456789", 0, std::nullopt},
             {"1.2.3", 0, std::nullopt},
             {"abc", 0, std::nullopt},
             {"1e", 0, std::nullopt},
             {"", 0, std::nullopt},
         }) {
        SCOPED_TRACE(row.text);
        const auto value = parseDecimal(row.text, row.scale);
        EXPECT_EQ(value ? std::optional<std::string>(value->text()) : std::nullopt, row.value);
    }
    EXPECT_EQ(decimalFromDouble(1.005, 2)->text(), "1.01") << "a double passes through its shortest text";
    EXPECT_EQ(parseDecimal("999.995", 2)->digits(), 6) << "rounding can add a digit";
}

TEST(DecimalValues, LiteralsHaveTheirOwnPrecisionAndScale) {
    const auto type = [](const char* literal) {
        const DecimalType t = literalDecimalType(literal);
        return std::pair{t.precision, t.scale};
    };
    EXPECT_EQ(type("7"), std::pair(1, 0));
    EXPECT_EQ(type("12.50"), std::pair(4, 2));
    EXPECT_EQ(type("0.5"), std::pair(1, 1));
    EXPECT_EQ(type("000.001"), std::pair(3, 3));
}

TEST(Datetime2Values, FractionRoundedToTheScaleAndYearsFromOne) {
    EXPECT_EQ(formatDatetime2(*parseDatetime2("2026-12-04 02:00:00.1234567", 7), 7), "2026-12-04 02:00:00.1234567");
    EXPECT_EQ(formatDatetime2(*parseDatetime2("2026-12-04 02:00:00.12345", 3), 3), "2026-12-04 02:00:00.123");
    EXPECT_EQ(formatDatetime2(*parseDatetime2("2026-12-31 23:59:59.9999999", 2), 2), "2027-01-01 00:00:00.00");
    EXPECT_EQ(formatDatetime2(*parseDatetime2("0001/1/1", 0), 0), "0001-01-01 00:00:00");
    EXPECT_FALSE(parseDatetime2("9999-12-31 23:59:59.9999999", 0)) << "rounds past the last day";
    EXPECT_FALSE(parseDatetime2("2026-02-29", 7));
    EXPECT_EQ(formatDatetime(*parseDatetime("1753-01-01 00:00:00.0016667")), "1753-01-01 00:00:00.003");
}

std::vector<std::uint8_t> prelogin(std::optional<std::uint8_t> encryption) {
    std::vector<std::uint8_t> p = {0x00, 0x00, 0x0B, 0x00, 0x06};
    if (encryption) {
        p.insert(p.end(), {0x01, 0x00, 0x11, 0x00, 0x01});
    }
    p.push_back(0xFF);
    p.resize(encryption ? 17 : 11, 0);
    if (encryption) {
        p.push_back(*encryption);
    }
    return p;
}

// [MS-TDS 2.2.6.5] and SQL Server's "Force Encryption": the server's answer to each client.
TEST(EncryptionAnswer, AsSqlServerAnswersEachClient) {
    constexpr std::uint8_t off = kEncryptOff, on = kEncryptOn, no = kEncryptNotSupported, req = kEncryptRequired;
    struct Row {
        EncryptionMode mode;
        std::uint8_t client, answer;
    };
    for (const Row& row : std::initializer_list<Row>{
             {EncryptionMode::Off, off, no},
             {EncryptionMode::Off, on, no},
             {EncryptionMode::Login, off, off},
             {EncryptionMode::Login, on, on},
             {EncryptionMode::Login, req, on},
             {EncryptionMode::Login, no, no},
             {EncryptionMode::Required, off, on},
             {EncryptionMode::Required, on, on},
             {EncryptionMode::Required, no, req},
         }) {
        EXPECT_EQ(negotiateEncryption(row.client, row.mode), row.answer)
            << "mode " << int(row.mode) << ", client " << int(row.client);
    }
    EXPECT_EQ(clientEncryption(prelogin(0x00)), off);
    EXPECT_EQ(clientEncryption(prelogin(0x81)), on) << "the client-certificate bit";
    EXPECT_EQ(clientEncryption(prelogin(0x42)), no) << "an unknown value";
    EXPECT_EQ(clientEncryption(prelogin(std::nullopt)), no) << "no ENCRYPTION option";
    std::vector<std::uint8_t> broken = prelogin(0x00);
    broken[7] = 0x40; // the option's offset far past the end
    EXPECT_THROW(clientEncryption(broken), ProtocolError);
    EXPECT_THROW(clientEncryption({0x01, 0x00}), ProtocolError);
}

// [MS-TDS 2.2.5.5.1.7, 2.2.5.5.1.4, 2.2.5.4]: DECIMALN is length, sign (1 positive) and the
// scaled magnitude, little-endian in 4, 8, 12 or 16 bytes; DATETIME2N the time in units of the
// scale (3, 4 or 5 bytes) then days since 0001-01-01 (3 bytes); NCHAR is 0xEF.
TEST(TdsValues, DecimalDatetime2AndNcharAsTheProtocolHasThem) {
    // The last bytes of a one-row result: the column's TYPE_INFO and name, then the row.
    const auto encoded = [](const Column& column, const Cell& cell, std::size_t tail) {
        TokenWriter out(*TdsVersion::fromLogin(0x74000004));
        out.resultSet(ResultSet{{column}, {{cell}}});
        const std::vector<std::uint8_t>& bytes = out.bytes();
        return std::vector<std::uint8_t>(bytes.end() - static_cast<std::ptrdiff_t>(std::min(tail, bytes.size())),
                                         bytes.end());
    };
    Column decimal{"", SqlType::Decimal, 5};
    decimal.scale = 2;
    EXPECT_EQ(encoded(decimal, 1.24, 12),
              (std::vector<std::uint8_t>{0x6A, 0x05, 0x05, 0x02, 0x00, 0xD1, 0x05, 0x01, 0x7C, 0x00, 0x00, 0x00}));
    decimal.size = 20;
    EXPECT_EQ(encoded(decimal, -1.0, 15),
              (std::vector<std::uint8_t>{0xD1, 0x0D, 0x00, 0x64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    const Column datetime2{"", SqlType::DateTime2, 3};
    const DateTime2Value noonOfDay2{1, 12ull * 3600 * 10'000'000};
    EXPECT_EQ(encoded(datetime2, noonOfDay2, 12),
              (std::vector<std::uint8_t>{0x2A, 0x03, 0x00, 0xD1, 0x07, 0x00, 0x2E, 0x93, 0x02, 0x01, 0x00, 0x00}));
    Column nchar{"", SqlType::NVarChar, 2};
    nchar.fixedLength = true;
    EXPECT_EQ(encoded(nchar, std::string("a "), 16),
              (std::vector<std::uint8_t>{0xEF, 0x04, 0x00, 0x11, 0x04, 0xD0, 0x00, 0x00, 0x00, 0xD1, 0x04, 0x00, 'a',
                                         0x00, ' ', 0x00}))
        << "NCHAR(2), its collation, its value";
}

// Each database keeps its collation in its own file, so it survives a restart of the server and
// travels with every copy of the file.
TEST(DatabaseCollations, KeptInTheDatabaseFile) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("standin-catalog-" + std::to_string(::getpid()));
    {
        Catalog catalog(folder, *findCollation("SQL_Latin1_General_CP1_CI_AS"));
        catalog.create("jp", findCollation("Japanese_CS_AS"));
        catalog.create("plain");
        EXPECT_EQ(catalog.collationOf("master").name(), "SQL_Latin1_General_CP1_CI_AS");
    }
    sqlite3* db = nullptr; // a file made by something else keeps no collation
    sqlite3_open((folder / "foreign.sqlite").c_str(), &db);
    sqlite3_exec(db, "CREATE TABLE t (i INT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const Catalog reopened(folder); // the server started again, now with the default collation
    EXPECT_EQ(reopened.collationOf("jp").name(), "Japanese_CS_AS");
    EXPECT_EQ(reopened.collationOf("plain").name(), "SQL_Latin1_General_CP1_CI_AS");
    EXPECT_EQ(reopened.collationOf("master").name(), "SQL_Latin1_General_CP1_CI_AS");
    EXPECT_EQ(reopened.collationOf("foreign").name(), "Japanese_CI_AS") << "the server's";
    std::filesystem::remove_all(folder);
}

TEST(ResultColumns, NamesAndTypesSqlServerGivesExpressions) {
    struct Row {
        const char* sql;
        std::vector<std::pair<bool, std::optional<std::string>>> columns; // unnamed, type
    };
    const auto unnamed = [](std::optional<std::string> type) { return std::pair{true, std::move(type)}; };
    const auto named = [](std::optional<std::string> type) { return std::pair{false, std::move(type)}; };
    for (const Row& row : std::initializer_list<Row>{
             {"SELECT 7, 2147483648, 1.50, 1e2",
              {unnamed("INT"), unnamed("DECIMAL(10,0)"), unnamed("DECIMAL(3,2)"), unnamed("FLOAT")}},
             {"SELECT 7.0 / 2, 1.50 * 2, 10 / 4, 1.5 + 10, 7.5 % 2",
              {unnamed("DECIMAL(7,6)"), unnamed("DECIMAL(5,2)"), unnamed("INT"), unnamed("DECIMAL(4,1)"),
               unnamed("DECIMAL(2,1)")}},
             {"SELECT CAST(x AS NVARCHAR), CONVERT(DECIMAL(9,2), x, 1), CAST(1 AS BIT) AS b",
              {unnamed("NVARCHAR(30)"), unnamed("DECIMAL(9,2)"), named("BIT")}},
             {"SELECT TOP (3) COUNT(*) n, GETDATE(), SYSDATETIME(), SUM(1.25)",
              {named("INT"), unnamed("DATETIME"), unnamed("DATETIME2(7)"), unnamed("DECIMAL(38,2)")}},
             {"SELECT DISTINCT t.name, [x], name AS y, @@SPID, N'a' + 'b' FROM t",
              {named(std::nullopt), named(std::nullopt), named(std::nullopt), unnamed("SMALLINT"),
               unnamed(std::nullopt)}},
         }) {
        SCOPED_TRACE(row.sql);
        const auto hints = describeSelectList(lexTsql(row.sql));
        ASSERT_EQ(hints.size(), row.columns.size());
        for (std::size_t i = 0; i < hints.size(); ++i) {
            EXPECT_EQ(hints[i].unnamed, row.columns[i].first) << "column " << i;
            EXPECT_EQ(hints[i].type, row.columns[i].second) << "column " << i;
        }
    }
    EXPECT_TRUE(describeSelectList(lexTsql("SELECT *, 1 FROM t")).empty()) << "columns of * are not known here";
    EXPECT_TRUE(describeSelectList(lexTsql("DELETE FROM t")).empty());
}

TEST(WrittenValues, EachValueIsWrappedForItsColumn) {
    TranslationContext context;
    context.columnsOf = [](const std::string& database, const std::string& table) -> std::vector<TableColumn> {
        if (table != "t" || (!database.empty() && database != "other")) {
            return {};
        }
        return {{"i", "INT", "Japanese_CI_AS"}, {"s", "NVARCHAR(4)", "Japanese_CS_AS"}};
    };
    const auto rewritten = [&](const char* sql) { return joined(withCoercedWrites(lexTsql(sql), context)); };
    EXPECT_EQ(rewritten("INSERT INTO t VALUES (1, N'a'), (2 + 3, DEFAULT)"),
              "INSERT INTO t VALUES (standin_coerce(1, 'INT', 'Japanese_CI_AS'), standin_coerce(N'a', 'NVARCHAR(4)', "
              "'Japanese_CS_AS')), (standin_coerce(2 + 3, 'INT', 'Japanese_CI_AS'), DEFAULT)");
    EXPECT_EQ(rewritten("INSERT other..t (s) VALUES (f(1, 2))"),
              "INSERT other..t (s) VALUES (standin_coerce(f(1, 2), 'NVARCHAR(4)', 'Japanese_CS_AS'))");
    EXPECT_EQ(rewritten("UPDATE t SET s = 'x', t.i = (1) WHERE i = 2"),
              "UPDATE t SET s = standin_coerce('x', 'NVARCHAR(4)', 'Japanese_CS_AS'), t.i = standin_coerce((1), 'INT', "
              "'Japanese_CI_AS') WHERE i = 2");
    for (const char* untouched : {"INSERT INTO t SELECT 1, 'x'", "INSERT INTO u VALUES (1)", "UPDATE u SET a = 1",
                                  "INSERT INTO t (nope) VALUES (1)", "DELETE FROM t WHERE i = 1"}) {
        EXPECT_EQ(rewritten(untouched), untouched);
    }
}

TEST(Comparisons, OnlyThoseNoColumnDecidesTakeTheDatabaseCollation) {
    const auto rewritten = [](const char* sql) { return joined(rewriteExpressions(lexTsql(sql), "Japanese_CI_AS")); };
    EXPECT_EQ(rewritten("SELECT 1 WHERE 'a' = 'A'"), "SELECT 1 WHERE 'a' = ('A') COLLATE \"Japanese_CI_AS\"");
    EXPECT_EQ(rewritten("SELECT 1 WHERE LTrim(n) <> 'x'"),
              "SELECT 1 WHERE LTrim(n) <> ('x') COLLATE \"Japanese_CI_AS\"");
    EXPECT_EQ(rewritten("SELECT 1 WHERE t.n >= 'x' AND 'y' < [n]"), "SELECT 1 WHERE t.n >= 'x' AND 'y' < [n]");
    EXPECT_EQ(rewritten("UPDATE t SET n = 'x'"), "UPDATE t SET n = 'x'");
}

} // namespace
