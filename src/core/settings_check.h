#pragma once
// The settings check: the items of MSDE_DBTOOL.INI in the order the check names them, judged from
// their texts and a few questions about folders. It reads no file, writes none and shows nothing:
// the check before a run, the notice after the resident program's loads and the health check
// each hand in what they read and decide what to do with the answer. Where they differ, the
// difference is one of the rules below.

#include "platform/filesystem.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The items' texts as MSDE_DBTOOL.INI holds them, trimmed.
struct SettingsTexts {
    std::vector<std::string> databases;     // [Schedule] Db split at TAB; none when Db is blank
    std::string path;                       // [Schedule] Path
    std::string localPreserveTerm;          // [Schedule] LocalPreserveTerm
    std::array<std::string, 3> days, times; // [ScheduleAll], [ScheduleDiff], [ScheduleLOG]
    std::string execute;                    // [FILE_COPY] EXECUTE
    std::string dbBackupFileDir, outSidePreserveTerm, keyFileDir, gijyutuFileDir; // [FILE_COPY]
};

// What the check asks about folders on this machine.
class FolderQueries {
public:
    enum class Kind { Missing, Folder, Other };
    virtual ~FolderQueries() = default;
    virtual Kind kindOf(const std::string& path) const = 0;
    virtual bool onFixedDisk(const std::string& path) const = 0;
    // The root of the file system. Retention lists its folder recursively and deletes old backup
    // files wherever it finds them: a backup folder or copy target there would reach the whole
    // machine.
    virtual bool isRoot(const std::string& path) const = 0;
};

// The answers of a file system: `files` for whether a folder is there, the mount table for the
// disk it is on.
class FileSystemFolders final : public FolderQueries {
public:
    explicit FileSystemFolders(const platform::FileSystem& files) : files_(files) {}
    Kind kindOf(const std::string& path) const override;
    bool onFixedDisk(const std::string& path) const override;
    bool isRoot(const std::string& path) const override;

private:
    const platform::FileSystem& files_;
};

// How strictly the database names are judged.
enum class NameRule {
    Listed,      // at least one name
    FolderNames, // and each usable as a folder name: none may lead out of the backup folder
    OnServer,    // and each also on the server's list
};

// How strictly a copy target is judged; every rule refuses a blank setting and the root.
enum class TargetRule {
    Set, // anything else: whether a medium is there shows at the copy
    // A folder, or nothing of that name: a medium not plugged in or a share not mounted right now
    // must not stop the local backups, and the copy stage reports every copy it cannot make.
    FolderOrAbsent,
    ExistingFolder, // a folder that is there now
};

struct CheckRules {
    NameRule names = NameRule::OnServer;
    TargetRule targets = TargetRule::FolderOrAbsent;
    const std::vector<std::string>* serverDatabases = nullptr; // read for NameRule::OnServer
    // The load keeps a default in place of a bad term and goes on: only the check judges terms.
    bool judgeTerms = true;
};

// A value the check writes back: the default of an empty term, "1" for an EXECUTE that is
// neither "0" nor "1".
struct IniRepair {
    std::string_view section, key, value;
    bool operator==(const IniRepair&) const = default;
};

struct SettingsCheck {
    std::string_view failedItem;    // the first failing item's label; "" when all pass
    std::vector<IniRepair> repairs; // the repairs of the items reached, in their order
};

SettingsCheck checkSettings(const SettingsTexts& texts, const CheckRules& rules, const FolderQueries& folders);

// The root of the file system: neither a backup folder nor a copy target may be it.
bool isRootFolder(std::string_view path);

// The single item tests the check is made of.
bool databaseNamesPass(const std::vector<std::string>& names, const CheckRules& rules);
bool localFolderPasses(const std::string& path, const FolderQueries& folders);
bool copyTargetPasses(const std::string& path, TargetRule rule, const FolderQueries& folders);
// An empty term passes (the check writes its default), else digits only, at most three.
bool termTextPasses(std::string_view term);

} // namespace core
