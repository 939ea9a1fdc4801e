#include "copy/file_list.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using testsupport::writeFile;

namespace {

class FileListTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 2, 0)};
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{clock, ui, files, dir.path()};
    core::Settings settings;
    std::stop_source stop;
    const core::RunPlan plan{settings, clock.now(), {}, {}, stop.get_token()};

    std::vector<std::string> relative(const std::vector<std::string>& list) const {
        std::vector<std::string> out;
        const std::string root = (dir / "ext").string() + "/";
        for (const auto& p : list)
            out.push_back(p.substr(0, root.size()) == root ? p.substr(root.size()) : p);
        return out;
    }
};

} // namespace

TEST_F(FileListTest, ListsFolderFilesBeforeSubFoldersAndSkipsTheProductFolderCopies) {
    // The product: its certificate folder KEYMANAGE and documents folder 技術資料.
    writeFile(dir / "product" / "KEYMANAGE" / "k.pem", "k");
    writeFile(dir / "product" / "技術資料" / "d.txt", "d");
    writeFile(dir / "product" / "DEDoda.ini", "[keymanage]\r\nKeyRoot=" + (dir / "product" / "KEYMANAGE").string());
    writeFile(dir / "ZUZOR.INI",
              platform::toCp932("[SABRELUND]\r\nPATH=" + (dir / "product").string() +
                                "\r\n[GIJYUTU]\r\nPATH=" + (dir / "product").string() + "/技術資料\r\n"));
    settings.keyFileDir = (dir / "ext").string();
    settings.gijyutuFileDir = (dir / "ext").string() + "/";
    for (const char* f : {"b.DAT", "A.dat", "SALES/SALES_1_INIT.DAT", "SALES/x.log", "KEYMANAGE/cert.DAT",
                          "技術資料/doc.DAT", "deeper/KEYMANAGE/kept.DAT", "keymanage/case.DAT", "Wexmarl/w.DAT"})
        writeFile(dir / "ext" / f, "x");

    std::vector<std::string> list{"earlier"};
    ASSERT_TRUE(copy::fnGetFileList(ctx, plan, (dir / "ext").string() + "/*.DAT", true, list));
    EXPECT_EQ(relative(list),
              (std::vector<std::string>{"earlier", "A.dat", "b.DAT", "deeper/KEYMANAGE/kept.DAT", "keymanage/case.DAT",
                                        "SALES/SALES_1_INIT.DAT", "Wexmarl/w.DAT"}));

    list.clear();
    ASSERT_TRUE(copy::fnGetFileList(ctx, plan, (dir / "ext").string() + "/*.DAT", false, list));
    EXPECT_EQ(relative(list), (std::vector<std::string>{"A.dat", "b.DAT"}));
}

TEST_F(FileListTest, FailsOnPatternsWithoutFolderAndOnUnreadableFolders) {
    std::vector<std::string> list;
    EXPECT_FALSE(copy::fnGetFileList(ctx, plan, "*.DAT", true, list));
    EXPECT_FALSE(copy::fnGetFileList(ctx, plan, (dir / "missing").string() + "/*.DAT", true, list));
    writeFile(dir / "ext" / "a.DAT", "x");
    writeFile(dir / "ext" / "z" / "b.DAT", "x");
    EXPECT_TRUE(copy::fnGetFileList(ctx, plan, (dir / "ext").string() + "/", false, list)); // "*.*"
    EXPECT_EQ(relative(list), (std::vector<std::string>{"a.DAT"}));

    // A stopped run lists nothing more: nothing it has not listed can be deleted.
    stop.request_stop();
    list.clear();
    EXPECT_TRUE(copy::fnGetFileList(ctx, plan, (dir / "ext").string() + "/*.DAT", true, list));
    EXPECT_TRUE(list.empty());
}
