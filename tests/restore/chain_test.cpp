// Which files make the newest chain and where a chain breaks.

#include "restore/chain.h"

#include <gtest/gtest.h>

namespace {

using core::BackupKind;
using restore::BackupFile;
using restore::SetHeader;

std::vector<BackupFile> filesNamed(const std::vector<std::string>& names) {
    std::vector<BackupFile> files;
    for (const auto& name : names)
        if (auto f = restore::parseBackupFileName("SALES", "/b/SALES/" + name))
            files.push_back(*f);
    return files;
}

std::vector<std::string> namesOf(const std::vector<BackupFile>& files) {
    std::vector<std::string> names;
    for (const auto& f : files)
        names.push_back(f.path.filename().string());
    return names;
}

TEST(BackupChain, OnlyTheProgramsNamesOfTheDatabaseCount) {
    const auto files = filesNamed({"SALES_20261203020000_INIT.DAT", "sales_20261203020000_log.dat",
                                   "SALES_X_20261203020000_INIT.DAT", "SALES_2026120302000_INIT.DAT",
                                   "SALES_20261203020000_FULL.DAT", "SALES_20261203020000_INIT.BAK", "OTHER.DAT"});
    EXPECT_EQ(namesOf(files), (std::vector<std::string>{"SALES_20261203020000_INIT.DAT"}));
    EXPECT_EQ(files[0].kind, BackupKind::Full);
}

TEST(BackupChain, NewestFullItsNewestDifferentialAndTheLogsAfterThem) {
    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::vector<std::string> chain;
    };
    const std::vector<Case> cases = {
        {"no full backup", {"SALES_20261203020000_DIFF.DAT", "SALES_20261203030000_LOG.DAT"}, {}},
        {"full, differential, logs in time order",
         {"SALES_20261203120000_LOG.DAT", "SALES_20261201020000_INIT.DAT", "SALES_20261203020000_DIFF.DAT",
          "SALES_20261202020000_DIFF.DAT", "SALES_20261203090000_LOG.DAT", "SALES_20261202090000_LOG.DAT"},
         {"SALES_20261201020000_INIT.DAT", "SALES_20261203020000_DIFF.DAT", "SALES_20261203090000_LOG.DAT",
          "SALES_20261203120000_LOG.DAT"}},
        {"differentials before the newest full are not used",
         {"SALES_20261202020000_DIFF.DAT", "SALES_20261203020000_INIT.DAT", "SALES_20261203090000_LOG.DAT"},
         {"SALES_20261203020000_INIT.DAT", "SALES_20261203090000_LOG.DAT"}},
        {"a log of the same run follows its full backup",
         {"SALES_20261203020030_LOG.DAT", "SALES_20261203020030_INIT.DAT"},
         {"SALES_20261203020030_INIT.DAT", "SALES_20261203020030_LOG.DAT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(namesOf(restore::newestChain(filesNamed(c.files))), c.chain);
    }
}

TEST(BackupChain, TheFirstFileThatBreaksTheChainIsNamed) {
    const auto files =
        filesNamed({"SALES_20261201020000_INIT.DAT", "SALES_20261202020000_DIFF.DAT", "SALES_20261202090000_LOG.DAT",
                    "SALES_20261202100000_LOG.DAT", "SALES_20261202110000_LOG.DAT"});
    const SetHeader full{"SALES", 1, 100, 110, 105, 0}, diff{"SALES", 5, 200, 210, 205, 105};
    const SetHeader log1{"SALES", 2, 90, 220, 0, 0}, log2{"SALES", 2, 220, 230, 0, 0}, log3{"SALES", 2, 230, 240, 0, 0};
    struct Case {
        const char* name;
        std::vector<SetHeader> headers;
        std::optional<std::size_t> breaksAt;
        std::vector<std::size_t> used;
    };
    const std::vector<Case> cases = {
        {"whole chain", {full, diff, log1, log2, log3}, std::nullopt, {0, 1, 2, 3, 4}},
        {"a log that ends before the differential is skipped",
         {full, diff, {"SALES", 2, 90, 205, 0, 0}, {"SALES", 2, 205, 230, 0, 0}, log3},
         std::nullopt,
         {0, 1, 3, 4}},
        {"a missing log in the middle", {full, diff, log1, log3, log3}, 3, {}},
        {"a differential of another full backup", {full, {"SALES", 5, 200, 210, 205, 99}, log1, log2, log3}, 1, {}},
        {"another database's file", {full, diff, {"OTHER", 2, 90, 220, 0, 0}, log2, log3}, 2, {}},
        {"a name that lies about the kind", {full, {"SALES", 1, 200, 210, 205, 0}, log1, log2, log3}, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> used;
        const auto broken = restore::checkChain("sales", files, c.headers, used);
        ASSERT_EQ(broken.has_value(), c.breaksAt.has_value()) << (broken ? broken->reason : "");
        if (broken)
            EXPECT_EQ(broken->index, *c.breaksAt) << broken->reason;
        else
            EXPECT_EQ(used, c.used);
    }
}

} // namespace
