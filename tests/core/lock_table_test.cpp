// The exclusive-control table through a session's connection, against the stand-in server.
#include "core/lock_table.h"

#include "data/database.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "support/product_server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace core;
using testsupport::TextRow;

namespace {

constexpr std::string_view kColumns =
    "(更新日, 更新操作者, 更新画面ＩＤ, 更新カウンタ, 削除区分, ＫＥＹテーブル名称１, "
    "ＫＥＹＩＤ１, ＫＥＹテーブル名称２, ＫＥＹＩＤ２, テーブル名称, ロックＩＤ番号, "
    "ロックＣＤ番号)";

struct LockTable : ::testing::Test {
    testsupport::ProductServer p;
    const platform::LocalFileSystem files;
    ProgramContext ctx{p.clock, p.ui, files, p.dir.path()};
    DbSession session;

    void SetUp() override { connect(); }
    void connect() {
        session.database = std::make_shared<data::QRCDBS_DataBase>(ctx.dataEnv());
        ASSERT_TRUE(session.database->fnOpen(p.serverName(), "PRODUCT", p.server.user(), p.server.password(), 1));
    }
    // A row another program left: name, deletion flag, second key table name.
    void foreignRow(const std::string& name, const std::string& deleted = "0", const std::string& key2 = "　") {
        p.server.execute("INSERT INTO 排他管理 " + std::string(kColumns) +
                             " VALUES ('2026-12-02 23:59:58', N'他人', N'Frm_Edit', 3, '" + deleted +
                             "', N'物件管理', 12, N'" + key2 + "', 34, N'" + name + "', 56, N'CD9')",
                         "PRODUCT");
    }
    std::vector<TextRow> names() {
        return p.server.query("SELECT テーブル名称 FROM 排他管理 ORDER BY テーブル名称", "PRODUCT");
    }
};

} // namespace

TEST(SqlText, CutsWholeCharactersThenDoublesQuotes) {
    EXPECT_EQ(fnSqlText("アイウエオカキクケ", 16), "アイウエオカキク");
    EXPECT_EQ(fnSqlText("aアイウエオカキクケ", 16), "aアイウエオカキ");
    EXPECT_EQ(fnSqlText("O'Brien", 0), "O''Brien");
    EXPECT_EQ(fnSqlText("123456789012345'7", 16), "123456789012345''");
    EXPECT_EQ(fnSqlText("", 16), "");
}

TEST(ActiveForm, NameFromTheDesktopOrNothing) {
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3)};
    testsupport::RecordingSink ui;
    const platform::LocalFileSystem files;
    ProgramContext ctx{clock, ui, files, {}};
    EXPECT_EQ(fnActiveFormName(ctx), "");
    ui.activeWindow = [] { return std::string("Frm_Schedule'Setting"); };
    EXPECT_EQ(fnActiveFormName(ctx), "Frm_Schedule''Set");
    ui.activeWindow = []() -> std::string { throw std::runtime_error("no display"); };
    EXPECT_EQ(fnActiveFormName(ctx), "");
}

TEST_F(LockTable, AnEmptyTableSelectsFindsAndDeletesNothing) {
    std::vector<HaitaKanriRecord> rows(1);
    EXPECT_TRUE(fnSelectLockRows(session, rows));
    EXPECT_TRUE(rows.empty());
    bool found = true;
    EXPECT_TRUE(fnFindLockRow(session, "バックアップ", found));
    EXPECT_FALSE(found);
    EXPECT_TRUE(fnDeleteLockRows(session, "スケジュールバックアップ"));
    EXPECT_TRUE(p.ui.lines.empty());
}

TEST_F(LockTable, DeletedRowsAreFoundButNeitherListedNorDeleted) {
    foreignRow("スケジュールバックアップ", "1");
    bool found = false;
    EXPECT_TRUE(fnFindLockRow(session, "スケジュールバックアップ", found));
    EXPECT_TRUE(found);
    std::vector<HaitaKanriRecord> rows;
    EXPECT_TRUE(fnSelectLockRows(session, rows));
    EXPECT_TRUE(rows.empty());
    EXPECT_TRUE(fnDeleteLockRows(session, "スケジュールバックアップ"));
    EXPECT_EQ(names(), std::vector<TextRow>{{std::string("スケジュールバックアップ")}});
}

TEST_F(LockTable, ForeignRowsAreReadWithTheirDatesAndBreakdownRowsLeftOut) {
    foreignRow("バックアップ");
    foreignRow("内訳");
    foreignRow("物件", "0", "内訳名称");
    std::vector<HaitaKanriRecord> rows;
    ASSERT_TRUE(fnSelectLockRows(session, rows));
    ASSERT_EQ(rows.size(), 1u);
    const HaitaKanriRecord& r = rows[0];
    EXPECT_EQ(r.更新日, platform::makeLocalTime(2026, 12, 2, 23, 59, 58));
    EXPECT_EQ(r.更新操作者, "他人" + std::string(14, ' '));
    EXPECT_EQ(r.更新画面ＩＤ, "Frm_Edit" + std::string(8, ' '));
    EXPECT_EQ(r.更新カウンタ, 3);
    EXPECT_EQ(r.削除区分, "0");
    EXPECT_EQ(r.ＫＥＹテーブル名称１, "物件管理" + std::string(124, ' '));
    EXPECT_EQ(r.ＫＥＹＩＤ１, 12);
    EXPECT_EQ(r.ＫＥＹテーブル名称２, "　" + std::string(127, ' '));
    EXPECT_EQ(r.ＫＥＹＩＤ２, 34);
    EXPECT_EQ(r.テーブル名称, "バックアップ" + std::string(122, ' '));
    EXPECT_EQ(r.ロックＩＤ番号, 56);
    EXPECT_EQ(r.ロックＣＤ番号, "CD9" + std::string(29, ' '));
}

TEST_F(LockTable, TheInsertTextIsExactAndItsRowCanBeDeleted) {
    p.debugOn();
    connect(); // the debug options are read when the connection object is made
    ASSERT_TRUE(fnInsertLockRow(ctx, session, "スケジュールバックアップ"));
    const std::string insert =
        "Insert into 排他管理 (更新日, 更新操作者, 更新画面ＩＤ, 更新カウンタ, 削除区分, ＫＥＹテーブル名称１, "
        "ＫＥＹＩＤ１, ＫＥＹテーブル名称２, ＫＥＹＩＤ２, テーブル名称, ロックＩＤ番号, ロックＣＤ番号 ) Values "
        "(GetDate(), '', '', 0, '0', '　', 0, '　', 0, 'スケジュールバックアップ', 0, '　' );";
    EXPECT_EQ(p.log("DBS_DATABASE.LOG"), platform::toCp932(insert + "\r\n"));
    const auto row = p.server.query("SELECT 更新日, 削除区分, テーブル名称 FROM 排他管理", "PRODUCT");
    ASSERT_EQ(row.size(), 1u);
    EXPECT_TRUE(row[0][0].has_value()); // the server's clock
    EXPECT_EQ(row[0][1], "0");

    bool found = false;
    EXPECT_TRUE(fnFindLockRow(session, "スケジュールバックアップ", found));
    EXPECT_TRUE(found);
    EXPECT_TRUE(fnDeleteLockRows(session, "スケジュールバックアップ"));
    EXPECT_TRUE(names().empty());
    EXPECT_THAT(p.log("DBS_DATABASE.LOG"),
                ::testing::EndsWith(platform::toCp932("Delete From 排他管理  Where 削除区分 = '0' And テーブル名称 = "
                                                      "'スケジュールバックアップ';\r\n")));
    EXPECT_TRUE(p.ui.lines.empty());
}

// The product's other programs write names padded with blanks to the column's length. Under the
// database's collation "=" does not count trailing blanks, so a stale padded row of this program
// is deleted and a padded foreign backup row is seen.
TEST_F(LockTable, RowsWrittenWithTrailingBlanksAreFoundAndDeleted) {
    foreignRow("スケジュールバックアップ" + std::string(116, ' '));
    foreignRow("バックアップ   ");
    bool found = false;
    EXPECT_TRUE(fnFindLockRow(session, "バックアップ", found));
    EXPECT_TRUE(found);
    EXPECT_TRUE(fnDeleteLockRows(session, "スケジュールバックアップ"));
    EXPECT_EQ(names(), std::vector<TextRow>{{std::string("バックアップ   ")}});
    EXPECT_TRUE(p.ui.lines.empty());
}

TEST_F(LockTable, FailuresGiveFalseAndOnlyTheDeleteSpeaks) {
    p.debugOn();
    connect();
    p.server.execute("DROP TABLE 排他管理", "PRODUCT");
    // The server's refusal is the masked error: tried as often as the settings say, and no box
    // from the insert; the caller reports it.
    EXPECT_FALSE(fnInsertLockRow(ctx, session, "スケジュールバックアップ", {2, 10, "操作者'"}));
    EXPECT_TRUE(p.ui.lines.empty());
    const std::string log = platform::fromCp932(p.log("DBS_DATABASE.LOG"));
    const std::string attempt = "(GetDate(), '操作者''', '', 0,";
    std::size_t attempts = 0;
    for (auto pos = log.find(attempt); pos != std::string::npos; pos = log.find(attempt, pos + 1))
        ++attempts;
    EXPECT_EQ(attempts, 3u);
    std::vector<HaitaKanriRecord> rows;
    EXPECT_FALSE(fnSelectLockRows(session, rows));
    bool found = true;
    EXPECT_FALSE(fnFindLockRow(session, "バックアップ", found));
    EXPECT_FALSE(found);
    const auto deletion = fnDeleteLockRows(session, "スケジュールバックアップ");
    EXPECT_FALSE(deletion);
    EXPECT_EQ(deletion.failureText, "排他管理テーブルから「テーブル名称 = "
                                    "'スケジュールバックアップ'」のレコードを削除できませんでした。");
    EXPECT_TRUE(p.ui.lines.empty()); // the caller shows it
}
