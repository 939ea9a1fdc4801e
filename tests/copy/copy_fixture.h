#pragma once
// A product installation, a local backup folder and an external target in a temporary folder,
// with a manual clock and a recording user interface, for driving the copy run directly.

#include "copy/external_copy.h"
#include "core/run_report.h"
#include "platform/codepage.h"
#include "platform/filesystem.h"
#include "support/faulty_filesystem.h"
#include "support/log_reader.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace copytest {

using platform::makeLocalTime;
using testsupport::writeFile;

class CopyRunTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::RecordingSink ui;
    platform::ManualClock clock{makeLocalTime(2026, 12, 3, 2, 0, 30)};
    testsupport::FaultyFileSystem fs; // the real one until a test asks for a fault
    core::ProgramContext ctx{clock, ui, fs, dir.path()};
    core::Settings settings;
    const std::string local = (dir / "local").string(), ext = (dir / "ext").string();
    const std::string product = (dir / "product").string();
    const std::filesystem::path logPath = dir / "20261203.log";
    core::BackupFiles files;       // what the database stage wrote
    core::RunFailures failures;    // of the last copy run
    platform::LocalTime runTime{}; // of the run the copy belongs to
    core::BackupKinds due;         // what was due in that run

    CopyRunTest() {
        writeFile(dir / "product" / "KEYMANAGE" / "cert.pem", "cert");
        writeFile(dir / "product" / "技術資料" / "manual.txt", "manual");
        writeFile(dir / "product" / "Wexmarl" / "data.bin", "wexmarl");
        writeProductIni(product, product + "/KEYMANAGE", product + "/技術資料");
        std::filesystem::create_directories(ext);
        auto& s = settings;
        s.copyEnabled = true;
        s.dbBackupFileDir = s.keyFileDir = s.gijyutuFileDir = ext;
        s.outSidePreserveTerm = core::termFromText("60", 999, "60");
        s.databases = {"SABRELUND", "SALES"};
        runTime = makeLocalTime(2026, 12, 3, 2, 0, 0);
    }

    // The copy run of a run due at `runTime` for `due` with `files`.
    void copyOut() { failures = copy::sbFileCopyToOutside(ctx, {settings, runTime, due, logPath, {}}, files); }
    bool runFailed() const { return !failures.empty(); }

    // ZUZOR.INI in the program folder, DEDoda.ini in the install folder.
    void writeProductIni(const std::string& install, const std::string& keyRoot, const std::string& documents) {
        writeFile(dir / "ZUZOR.INI",
                  platform::toCp932("[SABRELUND]\r\nPATH=" + install + "\r\n[GIJYUTU]\r\nPATH=" + documents + "\r\n"));
        writeFile(dir / "product" / "DEDoda.ini", platform::toCp932("[keymanage]\r\nKeyRoot=" + keyRoot + "\r\n"));
    }
    std::string file(const std::string& path, platform::LocalTime modified, std::string_view content = "x") {
        writeFile(path, content);
        EXPECT_FALSE(fs.setLastModified(path, modified));
        return path;
    }
    // This run's local backup: local/NAME/NAME_20261203020000_KIND.DAT, or local/NAME_... with no folder.
    std::string backup(const std::string& name, const std::string& kind, bool ownFolder = true) {
        const std::string folder = ownFolder ? local + "/" + name : local;
        return file(folder + "/" + name + "_20261203020000_" + kind + ".DAT", runTime, name + kind);
    }
    void dueFull() {
        due = core::BackupKind::Full;
        files.full = {backup("SABRELUND", "INIT"), backup("SALES", "INIT")};
        files.master = backup("MASTER", "INIT", false);
        files.msdb = backup("MSDB", "INIT", false);
        files.model = backup("MODEL", "INIT", false);
        files.written = {files.full[0], files.full[1], files.master, files.msdb, files.model};
    }

    // The daily log's lines, section timestamps shown as "<ts>".
    std::vector<std::string> logLines() const { return testsupport::readLogLines(logPath); }
    static std::string section(std::string_view text) { return "<ts>  " + std::string(text); }
    bool exists(const std::string& relative) const { return fs.exists(ext + "/" + relative); }
};

// The expected result lines.
inline const std::string S = "\u3000";
inline std::string deleted(const std::string& path) {
    return "結果：成功" + S + "削除ﾌｧｲﾙ名：" + path;
}
inline std::string copied(const std::string& source, const std::string& target, const std::string& outcome = "成功") {
    return "結果：" + outcome + S + "ｺﾋﾟｰ元ﾌｧｲﾙ名：" + source + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + target;
}
inline std::string folderCopied(const std::string& source, const std::string& target) {
    return "結果：成功" + S + "ｺﾋﾟｰ元ﾌｫﾙﾀﾞ名：" + source + S + "ｺﾋﾟｰ先ﾌｫﾙﾀﾞ名：" + target;
}

} // namespace copytest
