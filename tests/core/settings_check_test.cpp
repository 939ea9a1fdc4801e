// The one settings check under the three rule sets its callers use, over a made-up machine.

#include "core/settings_check.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace core;

namespace {

// "/data/..." is a fixed disk; "/media/..." a removable one.
class FakeFolders : public FolderQueries {
public:
    std::map<std::string, Kind> entries = {
        {"/data/backup", Kind::Folder}, {"/data/ext", Kind::Folder}, {"/data/a-file", Kind::Other},
        {"/media/usb", Kind::Folder},   {"/", Kind::Folder},
    };
    Kind kindOf(const std::string& path) const override {
        const auto it = entries.find(path);
        return it == entries.end() ? Kind::Missing : it->second;
    }
    bool onFixedDisk(const std::string& path) const override { return path.starts_with("/data"); }
    bool isRoot(const std::string& path) const override { return path == "/"; }
};

const std::vector<std::string> kServer = {"SALES", "TEST"};
const CheckRules kNotice{NameRule::Listed, TargetRule::Set};
const CheckRules kBeforeRun{NameRule::OnServer, TargetRule::FolderOrAbsent, &kServer};
const CheckRules kStatus{NameRule::FolderNames, TargetRule::ExistingFolder};

SettingsTexts valid() {
    SettingsTexts t;
    t.databases = {"SALES"};
    t.path = "/data/backup";
    t.localPreserveTerm = "30";
    t.days = {"127", "NON", "NON"};
    t.times = {"02:00", "NON", "NON"};
    t.execute = "1";
    t.dbBackupFileDir = t.keyFileDir = t.gijyutuFileDir = "/data/ext";
    t.outSidePreserveTerm = "60";
    return t;
}

constexpr std::string_view kNames = "バックアップDB名", kLocal = "DBバックアップファイル保存先フォルダ",
                           kTarget = "DBバックアップファイル　コピー先フォルダ",
                           kKeyTarget = "Sabrelund証明書フォルダ　コピー先フォルダ";

struct Row {
    const char* name;
    std::function<void(SettingsTexts&)> change;
    std::string_view notice, beforeRun, status; // the failed item under each rule set
};

} // namespace

TEST(SettingsCheck, FirstFailingItemUnderEachRuleSet) {
    const Row rows[] = {
        {"valid", [](SettingsTexts&) {}, "", "", ""},
        {"no names", [](SettingsTexts& t) { t.databases.clear(); }, kNames, kNames, kNames},
        {"name leading out",
         [](SettingsTexts& t) {
             t.databases = {"SALES", ".."};
         },
         "", kNames, kNames},
        {"name not on the server", [](SettingsTexts& t) { t.databases = {"OTHER"}; }, "", kNames, ""},
        {"local folder missing", [](SettingsTexts& t) { t.path = "/data/gone"; }, kLocal, kLocal, kLocal},
        {"local folder removable", [](SettingsTexts& t) { t.path = "/media/usb"; }, kLocal, kLocal, kLocal},
        {"local folder is a file", [](SettingsTexts& t) { t.path = "/data/a-file"; }, "", "", ""},
        {"term of four digits", [](SettingsTexts& t) { t.localPreserveTerm = "1000"; }, "ローカルバックアップ保持期間",
         "ローカルバックアップ保持期間", "ローカルバックアップ保持期間"},
        {"optional kind off whatever its time", [](SettingsTexts& t) { t.days[1] = "0", t.times[1] = "9:00"; }, "", "",
         ""},
        {"optional kind on with a bad time", [](SettingsTexts& t) { t.days[2] = "2", t.times[2] = "9:00"; },
         "ログバックアップスケジュール(時刻)", "ログバックアップスケジュール(時刻)",
         "ログバックアップスケジュール(時刻)"},
        {"target unplugged", [](SettingsTexts& t) { t.dbBackupFileDir = "/media/gone"; }, "", "", kTarget},
        {"target is a file", [](SettingsTexts& t) { t.dbBackupFileDir = "/data/a-file"; }, "", kTarget, kTarget},
        {"target is the root", [](SettingsTexts& t) { t.dbBackupFileDir = "/"; }, kTarget, kTarget, kTarget},
        {"certificate target blank", [](SettingsTexts& t) { t.keyFileDir = ""; }, kKeyTarget, kKeyTarget, kKeyTarget},
        {"copying off skips the targets", [](SettingsTexts& t) { t.execute = "0", t.dbBackupFileDir = "/"; }, "", "",
         ""},
    };
    const FakeFolders folders;
    for (const Row& row : rows) {
        SettingsTexts t = valid();
        row.change(t);
        EXPECT_EQ(checkSettings(t, kNotice, folders).failedItem, row.notice) << row.name;
        EXPECT_EQ(checkSettings(t, kBeforeRun, folders).failedItem, row.beforeRun) << row.name;
        EXPECT_EQ(checkSettings(t, kStatus, folders).failedItem, row.status) << row.name;
    }
}

TEST(SettingsCheck, RepairsOnlyTheItemsItReaches) {
    const FakeFolders folders;
    SettingsTexts t = valid();
    t.localPreserveTerm = t.execute = t.outSidePreserveTerm = "";
    const SettingsCheck all = checkSettings(t, kBeforeRun, folders);
    EXPECT_EQ(all.failedItem, "");
    EXPECT_EQ(all.repairs, (std::vector<IniRepair>{{"Schedule", "LocalPreserveTerm", "30"},
                                                   {"FILE_COPY", "EXECUTE", "1"},
                                                   {"FILE_COPY", "OutSidePreserveTerm", "60"}}));

    t.execute = "yes"; // a bad EXECUTE also switches the copy on
    t.dbBackupFileDir = "/data/a-file";
    const SettingsCheck target = checkSettings(t, kBeforeRun, folders);
    EXPECT_EQ(target.failedItem, kTarget);
    EXPECT_EQ(target.repairs,
              (std::vector<IniRepair>{{"Schedule", "LocalPreserveTerm", "30"}, {"FILE_COPY", "EXECUTE", "1"}}));

    t.days[0] = "0";
    const SettingsCheck day = checkSettings(t, kBeforeRun, folders);
    EXPECT_EQ(day.failedItem, "全体バックアップスケジュール(曜日)");
    EXPECT_EQ(day.repairs, (std::vector<IniRepair>{{"Schedule", "LocalPreserveTerm", "30"}}));
}
