#include "platform/codepage.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using platform::profileRead;
using platform::profileWrite;
using platform::toCp932;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {
std::string read(const std::filesystem::path& f, std::string_view sec, std::string_view key, std::size_t size = 128) {
    return profileRead(f, sec, key, "", size);
}
} // namespace

TEST(Profile, ReadsCodePage932ValuesWithWindowsMatchingRules) {
    TempDir dir;
    const auto ini = dir / "MSDE_DBTOOL.INI";
    writeFile(ini,
              toCp932("; comment\r\n[Schedule]\r\n  path  =  /srv/ﾊﾞｯｸｱｯﾌﾟ 全角  \r\nDb=A\tB\r\n"
                      "noequals\r\nDb=second\r\nq=\"C:\\x y\"\r\nh='half\r\n[schedule]\r\nPath=dup\r\n[Other]\r\nk=v"));
    EXPECT_EQ(read(ini, "Schedule", "q"), "C:\\x y"); // matching quotes are dropped
    EXPECT_EQ(read(ini, "Schedule", "h"), "'half");
    EXPECT_EQ(read(ini, "SCHEDULE", "Path"), "/srv/ﾊﾞｯｸｱｯﾌﾟ 全角");
    EXPECT_EQ(read(ini, "Schedule", "db"), "A\tB"); // first key wins, tabs inside kept
    EXPECT_EQ(read(ini, "Schedule", "noequals"), "");
    EXPECT_EQ(read(ini, "other", "K"), "v"); // last line without line end
    EXPECT_EQ(read(ini, "Missing", "k"), "");
    EXPECT_EQ(profileRead(dir / "none.ini", "a", "b", "dflt", 128), "dflt");
    EXPECT_EQ(profileRead(dir.path(), "a", "b", "dflt", 128), "dflt"); // a folder where a file should be
}

TEST(Profile, CutsToTheBufferWithoutSplittingADoubleByteCharacter) {
    TempDir dir;
    const auto ini = dir / "a.ini";
    // 126 ASCII bytes then a two-byte character: 128 bytes in all, the cut at 127 falls inside it.
    const std::string value = std::string(126, 'x') + "漢";
    writeFile(ini, toCp932("[s]\nk=" + value + "\n"));
    EXPECT_EQ(read(ini, "s", "k"), std::string(126, 'x'));
    const std::string fits = std::string(125, 'x') + "漢"; // exactly 127 bytes
    writeFile(ini, toCp932("[s]\nk=" + fits + "\n"));
    EXPECT_EQ(read(ini, "s", "k"), fits);
    EXPECT_EQ(read(ini, "s", "k", 4), "xxx");
}

TEST(Profile, ToleratesDamagedBytesLongLinesAndUtf8Marks) {
    TempDir dir;
    const auto ini = dir / "a.ini";
    writeFile(ini, "[s]\r\nbad=\x81\x20ok\r\nlong=" + std::string(8000, 'y') + "\r\nk=1\r\n");
    EXPECT_EQ(read(ini, "s", "bad"), "? ok");
    EXPECT_EQ(read(ini, "s", "long").size(), 127u);
    EXPECT_EQ(read(ini, "s", "k"), "1");

    writeFile(ini, "\xEF\xBB\xBF[s]\nk=全角ｶﾅ\n");
    EXPECT_EQ(read(ini, "s", "k"), "全角ｶﾅ");
    ASSERT_FALSE(profileWrite(ini, "s", "j", "値"));
    EXPECT_EQ(readFile(ini), "\xEF\xBB\xBF[s]\nk=全角ｶﾅ\nj=値\n"); // stays UTF-8, LF kept
}

TEST(Profile, WriteChangesOneLineAndKeepsEverythingElse) {
    TempDir dir;
    const auto ini = dir / "a.ini";
    const std::string before = toCp932("; 設定\r\n[Schedule]\r\nDb=A\r\n  Path = old \r\n; note\r\nTerm=30\r\n\r\n"
                                       "[FILE_COPY]\r\nEXECUTE=1\r\n");
    writeFile(ini, before);
    ASSERT_FALSE(profileWrite(ini, "schedule", "PATH", "/srv/ﾊﾞｯｸｱｯﾌﾟ"));
    ASSERT_FALSE(profileWrite(ini, "Schedule", "Iniflg", "1"));
    ASSERT_FALSE(profileWrite(ini, "BACKUPTIME", "START", "2026/12/03 02:00:00"));
    EXPECT_EQ(readFile(ini), toCp932("; 設定\r\n[Schedule]\r\nDb=A\r\nPath=/srv/ﾊﾞｯｸｱｯﾌﾟ\r\n; note\r\nTerm=30\r\n"
                                     "Iniflg=1\r\n\r\n[FILE_COPY]\r\nEXECUTE=1\r\n[BACKUPTIME]\r\n"
                                     "START=2026/12/03 02:00:00\r\n"));
    // Characters code page 932 cannot hold become "?".
    ASSERT_FALSE(profileWrite(ini, "FILE_COPY", "EXECUTE", "x😀"));
    EXPECT_EQ(read(ini, "FILE_COPY", "EXECUTE"), "x?");
}

TEST(Profile, CreatesMissingFilesAndRefusesReadOnlyOnesWithoutLoss) {
    TempDir dir;
    const auto ini = dir / "new.ini";
    ASSERT_FALSE(profileWrite(ini, "ENCNT", "MAILSRLOGTERM", "120"));
    EXPECT_EQ(readFile(ini), "[ENCNT]\r\nMAILSRLOGTERM=120\r\n");

    ::chmod(ini.c_str(), 0444); // refused also when the tests run as root
    EXPECT_TRUE(profileWrite(ini, "ENCNT", "MAILSRLOGTERM", "90"));
    EXPECT_EQ(readFile(ini), "[ENCNT]\r\nMAILSRLOGTERM=120\r\n");

    EXPECT_TRUE(profileWrite(dir / "missing-folder" / "x.ini", "a", "b", "c"));
    EXPECT_TRUE(profileWrite(dir.path(), "a", "b", "c"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1); // no temporary left
}

TEST(Profile, WritersOfOneFileDoNotLoseEachOthersChanges) {
    TempDir dir;
    const auto ini = dir / "shared.ini";
    const auto writer = [&](const char* key) {
        for (int i = 1; i <= 150; ++i)
            ASSERT_FALSE(profileWrite(ini, "s", key, std::to_string(i)));
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(read(ini, "s", "a"), "150");
    EXPECT_EQ(read(ini, "s", "b"), "150");
}

TEST(Profile, EveryChangeOfAFileIsSeenThoughReadsAreServedFromMemory) {
    TempDir dir;
    const auto ini = dir / "a.ini";
    const auto rewriteInPlace = [&](const std::string& bytes) {
        struct stat before {};
        ::stat(ini.c_str(), &before);
        writeFile(ini, bytes);
        const timespec times[2] = {before.st_atim, before.st_mtim}; // as an editor that keeps the time
        ::utimensat(AT_FDCWD, ini.c_str(), times, 0);
    };
    writeFile(ini, "[s]\nk=1\n");
    EXPECT_EQ(read(ini, "s", "k"), "1");
    rewriteInPlace("[s]\nk=2\n"); // same size, same time, same file
    EXPECT_EQ(read(ini, "s", "k"), "2");
    ASSERT_FALSE(profileWrite(ini, "s", "k", "3")); // replaced by renaming
    EXPECT_EQ(read(ini, "s", "k"), "3");
    std::filesystem::remove(ini);
    EXPECT_EQ(read(ini, "s", "k"), "");
}
