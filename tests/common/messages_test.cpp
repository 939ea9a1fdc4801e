#include "common/messages.h"
#include "common/vbfile.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::RecordingSink;

TEST(Messages, EveryCodeOfTheProgramHasItsOwnText) {
    for (int code : {3001, 3004, 3005, 3010, 3013, 3014, 3024})
        EXPECT_EQ(common::messageText(code, "", "", "").find("メッセージ番号"), std::string::npos) << code;
    EXPECT_EQ(common::messageText(3004, "データベース", "", ""), "データベースが存在しません。");
    EXPECT_EQ(common::messageText(3001, "INIファイル情報の取得", "データベースログインユーザ", ""),
              "INIファイル情報の取得に失敗しました。\n（データベースログインユーザ）");
    EXPECT_EQ(common::messageIcon(3010), platform::MsgIcon::Critical);
    EXPECT_EQ(common::messageIcon(3013), platform::MsgIcon::Exclamation);
}

// The headless sink's own lines, the catalogue's text included.
class LineSink : public platform::HeadlessUiSink {
public:
    std::vector<std::string> lines;

protected:
    void writeLine(const std::string& line) override { lines.push_back(line); }
};

TEST(Messages, HeadlessLinesCarryTheCodeTextsAndShownTextWithEscapedLineBreaks) {
    LineSink ui;
    common::fnQRMES01_DispMessage(ui, 3001, 0, "INIファイルパスの取得", "MSDE_DBTOOL.INI", "");
    common::fnQRMES01_DispMessage(ui, 3024, 0, "\"A\tB\"", "", "VBFILE_WriteINI");
    ui.messageBox("line1\rline2\r\nend", "", platform::MsgIcon::Critical);
    ui.openSettingsDialog();
    EXPECT_EQ(ui.lines, (std::vector<std::string>{
                            "MESSAGE\t3001\tINIファイルパスの取得\tMSDE_DBTOOL.INI\t\t"
                            "INIファイルパスの取得に失敗しました。\\n（MSDE_DBTOOL.INI）",
                            "MESSAGE\t3024\t\"A\\tB\"\t\tVBFILE_WriteINI\t"
                            "INIファイルへの書込みに失敗しました。\\n書込み値：\"A\\tB\"\\n処理：VBFILE_WriteINI",
                            "MSGBOX\tcritical\tスケジュールバックアップ\tline1\\rline2\\r\\nend",
                            "DIALOG\tsettings",
                        }));
}

TEST(Messages, AFailedIniWriteShowsMessage3024) {
    testsupport::TempDir dir;
    RecordingSink ui;
    const auto ini = dir / "MSDE_DBTOOL.INI";
    EXPECT_TRUE(common::VBFILE_WriteINI(ui, "Schedule", "Iniflg", "1", ini));
    EXPECT_EQ(common::fnReadIni("schedule", "INIFLG", ini), "1");
    ::chmod(ini.c_str(), 0444);
    EXPECT_FALSE(common::VBFILE_WriteINI(ui, "Schedule", "Iniflg", "0", ini));
    EXPECT_EQ(ui.lines, (std::vector<std::string>{"MESSAGE\t3024\t\"0\"\t\tVBFILE_WriteINI"}));
    EXPECT_EQ(common::fnReadIni("Schedule", "Iniflg", ini), "1");
}
