#include "platform/local_filesystem.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using platform::EntryKinds;
using platform::LocalFileSystem;
using platform::makeLocalTime;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {
std::vector<std::string> names(const std::vector<platform::DirEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& e : entries)
        out.push_back(e.name);
    return out;
}
} // namespace

TEST(Wildcard, MatchesWithoutRegardToAsciiCase) {
    using platform::wildcardMatch;
    EXPECT_TRUE(wildcardMatch("*.DAT", "x.dat"));
    EXPECT_TRUE(wildcardMatch("SABRELUND_20261203*_INIT.DAT", "sabrelund_20261203020000_init.DAT"));
    EXPECT_FALSE(wildcardMatch("SABRELUND_20261203*_INIT.DAT", "SABRELUND_20261204020000_INIT.DAT"));
    EXPECT_TRUE(wildcardMatch("*.*", "noext"));
    EXPECT_TRUE(wildcardMatch("???", "全角字")); // "?" is one character, not one byte
    EXPECT_FALSE(wildcardMatch("??", "abc"));
    EXPECT_TRUE(wildcardMatch("a*b*c", "aXbYbZc"));
    // A name need not be UTF-8; a byte that is not stands for one character.
    EXPECT_TRUE(wildcardMatch("*.BAK", "db\xE3.BAK"));
    EXPECT_TRUE(wildcardMatch("?A", "\xE3"
                                    "A"));
}

TEST(FileSystem, ListsHiddenEntriesInNtfsOrder) {
    TempDir dir;
    for (const char* n : {"b.DAT", "A.dat", ".hidden.DAT", "c.txt", "a_2.DAT"})
        writeFile(dir / n, "x");
    std::filesystem::create_directory(dir / "Sub.DAT");
    LocalFileSystem fsys;
    std::error_code ec;
    EXPECT_EQ(names(fsys.list(dir.path(), "*.DAT", EntryKinds::Files, ec)),
              (std::vector<std::string>{".hidden.DAT", "A.dat", "a_2.DAT", "b.DAT"}));
    EXPECT_EQ(names(fsys.list(dir.path(), "*", EntryKinds::Folders, ec)), (std::vector<std::string>{"Sub.DAT"}));
    fsys.list(dir / "missing", "*", EntryKinds::Both, ec);
    EXPECT_TRUE(ec);
}

TEST(FileSystem, ListsMatchingFilesWithTheirTimesAndEverySubFolder) {
    TempDir dir;
    LocalFileSystem fsys;
    const auto old = makeLocalTime(2026, 1, 2, 3, 4, 5), recent = makeLocalTime(2026, 12, 1, 0, 0, 0);
    writeFile(dir / "b.DAT", "x");
    writeFile(dir / "skip.log", "x");
    writeFile(dir / "keys" / "k.DAT", "x");
    ASSERT_FALSE(fsys.setLastModified(dir / "b.DAT", old));
    ASSERT_FALSE(fsys.setLastModified(dir / "keys" / "k.DAT", recent));
    std::filesystem::create_symlink("keys/k.DAT", dir / "A.dat"); // a link has its file's time
    std::filesystem::create_symlink("gone.DAT", dir / "dangling.DAT");
    std::filesystem::create_symlink("keys", dir / "linked.DAT"); // a linked folder is not entered
    std::error_code ec;
    const auto entries = fsys.listWithTimes(dir.path(), "*.DAT", ec);
    ASSERT_FALSE(ec);
    EXPECT_EQ(names(entries), (std::vector<std::string>{"A.dat", "b.DAT", "keys"}));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].modified, recent);
    EXPECT_EQ(entries[1].modified, old);
    EXPECT_TRUE(entries[2].isFolder);
    fsys.listWithTimes(dir / "missing", "*", ec);
    EXPECT_TRUE(ec);
}

TEST(FileSystem, RefusesToDeleteOrReplaceReadOnlyFilesEvenAsRoot) {
    TempDir dir;
    LocalFileSystem fsys;
    const auto file = dir / "old.DAT";
    writeFile(file, "keep");
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(fsys.deleteFile(file), std::errc::permission_denied);
    EXPECT_EQ(fsys.deleteFile(file).message(), "Permission denied");
    writeFile(dir / "src.DAT", "new");
    EXPECT_EQ(fsys.copyFile(dir / "src.DAT", file), std::errc::permission_denied);
    EXPECT_EQ(readFile(file), "keep");

    std::filesystem::create_directories(dir / "tree" / "inner");
    writeFile(dir / "tree" / "inner" / "locked", "x");
    ::chmod((dir / "tree" / "inner" / "locked").c_str(), 0444);
    EXPECT_TRUE(fsys.deleteFolder(dir / "tree"));
    EXPECT_TRUE(fsys.fileExists(dir / "tree" / "inner" / "locked"));
}

TEST(FileSystem, CopiesKeepTheModificationTimeAndReplaceWritableFiles) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "a.DAT", std::string(100000, 'z'));
    const auto stamp = makeLocalTime(2026, 11, 3, 23, 59, 0);
    ASSERT_FALSE(fsys.setLastModified(dir / "a.DAT", stamp));
    writeFile(dir / "out" / "a.DAT", "older");
    ASSERT_FALSE(fsys.copyFile(dir / "a.DAT", dir / "out" / "a.DAT"));
    EXPECT_EQ(readFile(dir / "out" / "a.DAT"), std::string(100000, 'z'));
    std::error_code ec;
    EXPECT_EQ(fsys.lastModified(dir / "out" / "a.DAT", ec), stamp);
    EXPECT_EQ(fsys.copyFile(dir / "missing.DAT", dir / "out" / "m.DAT"), std::errc::no_such_file_or_directory);
    EXPECT_TRUE(fsys.copyFile(dir / "a.DAT", dir / "no-folder" / "a.DAT"));
    EXPECT_EQ(names(fsys.list(dir / "out", "*", EntryKinds::Both, ec)), (std::vector<std::string>{"a.DAT"}));
}

TEST(FileSystem, CopiesFoldersIntoANamedSubFolderKeepingExtraFiles) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "KEYMANAGE" / "cert.pem", "v2");
    writeFile(dir / "KEYMANAGE" / "sub" / "deep.txt", "d");
    writeFile(dir / "secret", "outside");
    std::filesystem::create_symlink(dir / "secret", dir / "KEYMANAGE" / "link");
    std::filesystem::create_symlink("sub", dir / "KEYMANAGE" / "inner");     // inside the source
    std::filesystem::create_symlink("..", dir / "KEYMANAGE" / "sub" / "up"); // a loop
    writeFile(dir / "target" / "KEYMANAGE" / "cert.pem", "v1");
    writeFile(dir / "target" / "KEYMANAGE" / "extra.txt", "e");

    ASSERT_FALSE(fsys.copyFolder(dir / "KEYMANAGE", dir / "target"));
    EXPECT_EQ(readFile(dir / "target" / "KEYMANAGE" / "cert.pem"), "v2");
    EXPECT_EQ(readFile(dir / "target" / "KEYMANAGE" / "sub" / "deep.txt"), "d");
    EXPECT_TRUE(fsys.fileExists(dir / "target" / "KEYMANAGE" / "extra.txt"));
    // Nothing is fetched from outside the source; a link inside it brings its content along.
    EXPECT_FALSE(std::filesystem::exists(dir / "target" / "KEYMANAGE" / "link"));
    EXPECT_EQ(readFile(dir / "target" / "KEYMANAGE" / "inner" / "deep.txt"), "d");
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "target" / "KEYMANAGE" / "inner"));
    EXPECT_FALSE(std::filesystem::exists(dir / "target" / "KEYMANAGE" / "sub" / "up"));

    EXPECT_TRUE(fsys.copyFolder(dir / "KEYMANAGE", dir / "no-target"));
    EXPECT_TRUE(fsys.copyFolder(dir / "KEYMANAGE", dir / "KEYMANAGE" / "sub")); // into itself
    ::chmod((dir / "target" / "KEYMANAGE" / "cert.pem").c_str(), 0444);
    EXPECT_EQ(fsys.copyFolder(dir / "KEYMANAGE", dir / "target"), std::errc::permission_denied);
    // A failure deep in the tree names the file it concerns.
    ::chmod((dir / "target" / "KEYMANAGE" / "cert.pem").c_str(), 0644);
    ::chmod((dir / "target" / "KEYMANAGE" / "sub" / "deep.txt").c_str(), 0444);
    std::filesystem::path failedAt;
    EXPECT_EQ(fsys.copyFolder(dir / "KEYMANAGE", dir / "target", platform::Durability::Cached, &failedAt),
              std::errc::permission_denied);
    EXPECT_EQ(failedAt, dir / "target" / "KEYMANAGE" / "sub" / "deep.txt");
}

TEST(FileSystem, DeletingAFolderRemovesLinksAndPipesWithoutFollowingThem) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "keep" / "precious", "x");
    writeFile(dir / "work" / "mail.eml", "x");
    std::filesystem::create_symlink(dir / "keep", dir / "work" / "to-keep");
    std::filesystem::create_symlink(dir / "nowhere", dir / "work" / "broken");
    ASSERT_EQ(::mkfifo((dir / "work" / "pipe").c_str(), 0644), 0);
    EXPECT_FALSE(fsys.deleteFolder(dir / "work"));
    EXPECT_FALSE(std::filesystem::exists(dir / "work"));
    EXPECT_TRUE(fsys.fileExists(dir / "keep" / "precious"));
}

TEST(FileSystem, CreationTimeIsReadOrReportedMissing) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "f", "x");
    if (auto t = fsys.creationTime(dir / "f")) {
        EXPECT_GT(*t, makeLocalTime(2020, 1, 1));
    }
    EXPECT_FALSE(fsys.creationTime(dir / "missing"));
}

TEST(FileSystem, CopiesOfReadOnlySourcesCanBeRefreshed) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "KEYS" / "private.pem", "v1");
    ::chmod((dir / "KEYS" / "private.pem").c_str(), 0400);
    std::filesystem::create_directory(dir / "target");
    ASSERT_FALSE(fsys.copyFolder(dir / "KEYS", dir / "target"));
    ::chmod((dir / "KEYS" / "private.pem").c_str(), 0600);
    writeFile(dir / "KEYS" / "private.pem", "v2");
    ::chmod((dir / "KEYS" / "private.pem").c_str(), 0400);
    ASSERT_FALSE(fsys.copyFolder(dir / "KEYS", dir / "target", platform::Durability::OnMedium));
    EXPECT_EQ(readFile(dir / "target" / "KEYS" / "private.pem"), "v2");
    struct stat st {};
    ::stat((dir / "target" / "KEYS" / "private.pem").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // still private to its owner
}

TEST(FileSystem, FolderCopiesAreNamedAfterTheFolderAsWrittenAndTakeLongNames) {
    TempDir dir;
    LocalFileSystem fsys;
    writeFile(dir / "data" / "keys-v2" / "k.pem", "k");
    std::filesystem::create_directory_symlink(dir / "data" / "keys-v2", dir / "KEYMANAGE");
    std::filesystem::create_directory(dir / "target");
    std::string longName; // 252 bytes: its temporary name must still fit NAME_MAX
    for (int i = 0; i < 84; ++i)
        longName += "資";
    writeFile(dir / "data" / "keys-v2" / longName, "long");
    ASSERT_FALSE(fsys.copyFolder((dir / "KEYMANAGE").string() + "/", dir / "target"));
    EXPECT_EQ(readFile(dir / "target" / "KEYMANAGE" / "k.pem"), "k");
    EXPECT_EQ(readFile(dir / "target" / "KEYMANAGE" / longName), "long");
}
