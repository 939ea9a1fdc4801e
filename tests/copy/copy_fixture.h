#pragma once
// A product installation, a local backup folder and an external target in a temporary folder,
// with a manual clock and a recording user interface, for driving the copy run directly.

#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include "scheduler/context.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace copytest {

using platform::makeLocalTime;
using testsupport::writeFile;

class CopyRunTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{makeLocalTime(2026, 12, 3, 2, 0, 30)};
    scheduler::ProgramContext ctx{clock, ui, dir.path()};
    platform::FileSystem fs;
    const std::string local = (dir / "local").string();
    const std::string ext = (dir / "ext").string();
    const std::string product = (dir / "product").string();

    CopyRunTest() {
        writeFile(dir / "product" / "KEYMANAGE" / "cert.pem", "cert");
        writeFile(dir / "product" / "技術資料" / "manual.txt", "manual");
        writeFile(dir / "product" / "Wexmarl" / "data.bin", "wexmarl");
        writeProductIni(product, product + "/KEYMANAGE", product + "/技術資料");
        std::filesystem::create_directories(ext);
        std::filesystem::create_directories(local);
        auto& s = ctx.settings;
        s.path = local;
        s.execute = "1";
        s.dbBackupFileDir = s.keyFileDir = s.gijyutuFileDir = ext;
        s.outSidePreserveTerm = "60";
        s.databases = {"SABRELUND", "SALES"};
        ctx.currentTick = makeLocalTime(2026, 12, 3, 2, 0, 0);
        ctx.dailyLogPath = dir / "local" / "20261203.log";
    }

    // ZUZOR.INI in the program folder and DEDoda.ini in the install folder.
    void writeProductIni(const std::string& installFolder, const std::string& keyRoot, const std::string& documents) {
        writeFile(dir / "ZUZOR.INI", platform::toCp932("[SABRELUND]\r\nPATH=" + installFolder +
                                                       "\r\n[GIJYUTU]\r\nPATH=" + documents + "\r\n"));
        writeFile(dir / "product" / "DEDoda.ini", platform::toCp932("[keymanage]\r\nKeyRoot=" + keyRoot + "\r\n"));
    }

    // A file dated by its name's run, as the server writes backups.
    std::string file(const std::string& path, platform::LocalTime modified, std::string_view content = "backup") {
        writeFile(path, content);
        EXPECT_FALSE(fs.setLastModified(path, modified));
        return path;
    }
    // The local backup of `db` of this run: local/DB/DB_20261203020000_KIND.DAT.
    std::string backup(const std::string& db, const std::string& kind) {
        return file(local + "/" + db + "/" + db + "_20261203020000_" + kind + ".DAT", *ctx.currentTick, db + kind);
    }
    std::string systemBackup(const std::string& name) {
        return file(local + "/" + name + "_20261203020000_INIT.DAT", *ctx.currentTick, name);
    }
    void dueFull() {
        ctx.dueKinds = {"INIT", "", ""};
        ctx.backupFiles.full = {backup("SABRELUND", "INIT"), backup("SALES", "INIT")};
        ctx.backupFiles.master = systemBackup("MASTER");
        ctx.backupFiles.msdb = systemBackup("MSDB");
        ctx.backupFiles.model = systemBackup("MODEL");
    }

    std::vector<std::string> logLines() const {
        std::vector<std::string> lines;
        const std::string text = platform::fromCp932(testsupport::readFile(ctx.dailyLogPath));
        for (std::size_t at = 0; at < text.size();) {
            const auto end = text.find("\r\n", at);
            lines.push_back(text.substr(at, end - at));
            at = end == std::string::npos ? text.size() : end + 2;
        }
        return lines;
    }
    std::string section(std::string_view text) const {
        return platform::formatDateTime(clock.now()) + "  " + std::string(text);
    }
    bool exists(const std::string& relative) const { return fs.exists(ext + "/" + relative); }
};

// Pieces of the expected result lines.
inline const std::string S = "\u3000";
inline std::string deleted(const std::string& path) {
    return "結果：成功" + S + "削除ﾌｧｲﾙ名：" + path;
}
inline std::string copied(const std::string& source, const std::string& target) {
    return "結果：成功" + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + source + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + target;
}
inline std::string folderCopied(const std::string& source, const std::string& target) {
    return "結果：成功" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：" + source + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + target;
}

} // namespace copytest
