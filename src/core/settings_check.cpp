#include "core/settings_check.h"

#include "common/string_utils.h"
#include "core/settings.h"
#include "platform/drive_type.h"

#include <algorithm>
#include <filesystem>

namespace core {
namespace {

using Kind = FolderQueries::Kind;

// A database name becomes a folder and file name of its backups.
bool isUsableAsFolderName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Records the first failing item and the repairs of the items it passes on the way.
class Walk {
public:
    Walk(SettingsCheck& result, bool judgeTerms) : result_(result), judgeTerms_(judgeTerms) {}
    bool item(bool passes, std::string_view label) {
        if (!passes)
            result_.failedItem = label;
        return passes;
    }
    bool term(const std::string& text, std::string_view section, std::string_view key, std::string_view fallback,
              std::string_view label) {
        if (!judgeTerms_)
            return true;
        if (text.empty())
            result_.repairs.push_back({section, key, fallback});
        return item(termTextPasses(text), label);
    }

private:
    SettingsCheck& result_;
    bool judgeTerms_;
};

// The optional kinds: a Day that fails its test means "not scheduled", and the Time is not read.
bool optionalKindPasses(const SettingsTexts& t, std::size_t slot) {
    return !isValidDay(t.days[slot]) || isValidTime(t.times[slot]);
}

} // namespace

FolderQueries::Kind FileSystemFolders::kindOf(const std::string& path) const {
    if (files_.folderExists(path))
        return Kind::Folder;
    return files_.exists(path) ? Kind::Other : Kind::Missing;
}

bool FileSystemFolders::onFixedDisk(const std::string& path) const {
    return platform::driveTypeOf(path) == platform::DriveType::Fixed;
}

bool FileSystemFolders::isRoot(const std::string& path) const {
    return isRootFolder(path);
}

bool isRootFolder(std::string_view path) {
    std::error_code ec;
    const auto resolved = std::filesystem::weakly_canonical(std::string(path), ec);
    return !ec && resolved == resolved.root_path() && !resolved.empty();
}

bool databaseNamesPass(const std::vector<std::string>& names, const CheckRules& rules) {
    if (names.empty())
        return false;
    if (rules.names == NameRule::Listed)
        return true;
    return std::all_of(names.begin(), names.end(), [&](const std::string& n) {
        if (!isUsableAsFolderName(n))
            return false;
        if (rules.names != NameRule::OnServer)
            return true;
        const auto* server = rules.serverDatabases;
        return server && std::find(server->begin(), server->end(), n) != server->end();
    });
}

bool localFolderPasses(const std::string& path, const FolderQueries& folders) {
    return !path.empty() && folders.onFixedDisk(path) && folders.kindOf(path) != Kind::Missing && !folders.isRoot(path);
}

bool copyTargetPasses(const std::string& path, TargetRule rule, const FolderQueries& folders) {
    if (path.empty() || folders.isRoot(path))
        return false;
    switch (rule) {
    case TargetRule::Set:
        return true;
    case TargetRule::FolderOrAbsent:
        return folders.kindOf(path) != Kind::Other;
    case TargetRule::ExistingFolder:
        return folders.kindOf(path) == Kind::Folder;
    }
    return false;
}

bool termTextPasses(std::string_view term) {
    return term.empty() || (term.size() <= 3 && common::isDigits(term));
}

SettingsCheck checkSettings(const SettingsTexts& t, const CheckRules& rules, const FolderQueries& folders) {
    SettingsCheck result;
    Walk walk(result, rules.judgeTerms);
    const bool schedulePasses =
        walk.item(databaseNamesPass(t.databases, rules), "バックアップDB名") &&
        walk.item(localFolderPasses(t.path, folders), "DBバックアップファイル保存先フォルダ") &&
        walk.term(t.localPreserveTerm, "Schedule", "LocalPreserveTerm", "30", "ローカルバックアップ保持期間") &&
        walk.item(isValidDay(t.days[0]), "全体バックアップスケジュール(曜日)") &&
        walk.item(isValidTime(t.times[0]), "全体バックアップスケジュール(時刻)") &&
        walk.item(optionalKindPasses(t, 1), "差分バックアップスケジュール(時刻)") &&
        walk.item(optionalKindPasses(t, 2), "ログバックアップスケジュール(時刻)");
    if (!schedulePasses)
        return result;
    if (t.execute != "0" && t.execute != "1")
        result.repairs.push_back({"FILE_COPY", "EXECUTE", "1"});
    if (t.execute == "0")
        return result;
    const auto target = [&](const std::string& path, std::string_view label) {
        return walk.item(copyTargetPasses(path, rules.targets, folders), label);
    };
    [[maybe_unused]] const bool copyPasses =
        target(t.dbBackupFileDir, "DBバックアップファイル　コピー先フォルダ") &&
        walk.term(t.outSidePreserveTerm, "FILE_COPY", "OutSidePreserveTerm", "60", "外部バックアップ保持期間") &&
        target(t.keyFileDir, "Sabrelund証明書フォルダ　コピー先フォルダ") &&
        target(t.gijyutuFileDir, "Sabrelund技術資料フォルダ　コピー先フォルダ");
    return result;
}

} // namespace core
