#include "copy/external_copy.h"
#include "copy_fixture.h"

using namespace copytest;

TEST_F(CopyRunTest, MissingSourcesAndTargetsAreReportedFolderByFolder) {
    // No documents setting; an install folder ending in "/"; the certificate target missing.
    writeProductIni(product + "/", product + "/KEYMANAGE", "");
    settings.keyFileDir = (dir / "no-such-folder").string();
    std::filesystem::create_directory(dir / "product" / "Wexmarl" / "empty");

    copyOut();

    const std::string keySource = product + "/KEYMANAGE";
    const std::string error = "No such file or directory (" + settings.keyFileDir + "/)";
    const auto lines = logLines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 10, lines.end()),
              (std::vector<std::string>{
                  section("---Sabrelund証明書フォルダコピー Start---"),
                  "結果：失敗" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：" + keySource + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + settings.keyFileDir,
                  "Err.Description：" + error,
                  section("---Sabrelund証明書フォルダコピー End---"),
                  section("---Sabrelund技術資料フォルダコピー Start---"),
                  "結果：未実行" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：" + S + "原因：ｺﾋﾟｰ元ﾌｫﾙﾀﾞが見つかりません",
                  section("---Sabrelund技術資料フォルダコピー End---"),
                  section("---Sabrelund Wexmarlフォルダコピー Start---"),
                  folderCopied(product + "//Wexmarl", ext),
                  section("---Sabrelund Wexmarlフォルダコピー End---"),
              }));
    EXPECT_TRUE(exists("Wexmarl/empty"));
    EXPECT_EQ(ui.lines,
              std::vector<std::string>{"MSGBOX\tcritical\tSabrelund 証明書フォルダコピー失敗\t"
                                       "証明書フォルダコピー失敗\\rｺﾋﾟｰ元ﾌｧｲﾙ名：" +
                                       keySource + "\\rｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + settings.keyFileDir + "\\r\\r" + error});
    EXPECT_TRUE(runFailed());
}

TEST_F(CopyRunTest, AFolderCopyFailingPartWayNamesWhereAndTheNextFolderIsStillCopied) {
    fs.fail(testsupport::FsOp::CopyFolder, "/KEYMANAGE", std::errc::no_space_on_device, 0, testsupport::CopyStep::Data,
            "sub/cert.pem");

    copyOut();

    const std::string keySource = product + "/KEYMANAGE";
    const std::string error = "No space left on device (" + ext + "/KEYMANAGE/sub/cert.pem)";
    const auto lines = logLines();
    EXPECT_EQ(std::vector<std::string>(lines.end() - 9, lines.end() - 4),
              (std::vector<std::string>{
                  "結果：失敗" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：" + keySource + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + ext,
                  "Err.Description：" + error,
                  section("---Sabrelund証明書フォルダコピー End---"),
                  section("---Sabrelund技術資料フォルダコピー Start---"),
                  folderCopied(product + "/技術資料", ext),
              }));
    EXPECT_EQ(ui.lines, std::vector<std::string>{"MSGBOX\tcritical\tSabrelund 証明書フォルダコピー失敗\t"
                                                 "証明書フォルダコピー失敗\\rｺﾋﾟｰ元ﾌｧｲﾙ名：" +
                                                 keySource + "\\rｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + ext + "\\r\\r" + error});
    EXPECT_TRUE(exists("技術資料/manual.txt"));
    EXPECT_TRUE(runFailed());
}
