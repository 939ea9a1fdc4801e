#include "data/change_marker.h"

#include "common/vbfile.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using data::isTrackedChange;

TEST(ChangeMarker, TheRuleTableHoldsEveryNameOnceFromEachStart) {
    const auto rules = data::changeRules();
    ASSERT_EQ(rules.size(), 94u);
    std::map<std::string_view, std::set<int>> starts;
    for (const auto& r : rules) {
        EXPECT_TRUE(starts[r.name].insert(r.start).second) << r.name;
        // Lengths count characters; a wrong one would never match its own name.
        const std::string sql = std::string(r.start == 8 ? "UPDATE " : "INSERT INTO ") + std::string(r.name) + " x";
        EXPECT_TRUE(isTrackedChange(sql)) << sql;
    }
    EXPECT_EQ(starts.size(), 47u);
    EXPECT_EQ(rules.front().name, "システムＭ");
    EXPECT_EQ(rules[92].name, "受信確認メッセージ履歴");
}

TEST(ChangeMarker, MatchesExclusionsAndNonMatches) {
    struct Case {
        const char* sql;
        bool tracked;
    };
    for (const Case& c : {
             Case{"INSERT INTO 物件管理 (a) VALUES (1)", true},
             Case{"INSERT INTO 物件管理(a) VALUES (1)", true},
             Case{"INSERT INTO 物件管理Ｂ (a) VALUES (1)", false},
             Case{"UPDATE 物件管理 SET a = 1", true},
             Case{"UPDATE 物件管理Ｂ SET a = 1", false},
             Case{"DELETE FROM 出来高内訳 WHERE a = 1", true},
             Case{"DELETE FROM 出来高内訳(a)", false},
             Case{"insert into 年度Ｍ VALUES (1)", true},
             Case{"Delete From 送受信インデックス履歴 Where a = 1", true},
             Case{"Delete From 送受信インデックス履歴Ｗ Where a = 1", false},
             Case{"UPDATE 受信確認メッセージ履歴Ｂ SET a = 1", false},
             Case{"UPDATE 受信確認メッセージ履歴 SET a = 1", true},
             Case{"UPDATE 担当者別取引先関連情報 SET a = 1", true},
             Case{" INSERT INTO 年度Ｍ VALUES (1)", false},
             Case{"INSERT  INTO 年度Ｍ VALUES (1)", false},
             Case{"INSERT INTO 年度ｍ VALUES (1)", false},
             Case{"SELECT  INTO 年度Ｍ", false},
             Case{"Insert into 排他管理 (更新日) Values (GetDate())", false},
             Case{"Delete From 排他管理  Where 削除区分 = '0'", false},
             Case{"UPDATE", false},
             Case{"", false},
         })
        EXPECT_EQ(isTrackedChange(c.sql), c.tracked) << c.sql;
}

TEST(ChangeMarker, SetsBackupFlagInZuzorIniAndReportsAFailedWrite) {
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    const data::DataEnv env{nullptr, &ui, dir.path()};
    testsupport::writeFile(dir / "zuzor.ini", "[SABRELUND]\r\nBackupFlag=0\r\nOther=x\r\n");

    data::sbSetChangeMarker(env, "SELECT * FROM 年度Ｍ");
    EXPECT_EQ(common::fnReadIni("SABRELUND", "BackupFlag", dir / "zuzor.ini"), "0");
    data::sbSetChangeMarker(env, "UPDATE 年度Ｍ SET a = 1");
    EXPECT_EQ(testsupport::readFile(dir / "zuzor.ini"), "[SABRELUND]\r\nBackupFlag=1\r\nOther=x\r\n");
    EXPECT_TRUE(ui.lines.empty());

    ::chmod((dir / "zuzor.ini").c_str(), 0444);
    data::sbSetChangeMarker(env, "UPDATE 年度Ｍ SET a = 2");
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MESSAGE\t3024\t\"1\"\t\tVBFILE_WriteINI"});
}
