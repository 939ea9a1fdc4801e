#pragma once
// The settings as the resident program holds them: loaded at start-up, and loaded again the same
// way whenever MSDE_DBTOOL.INI or ZUZOR.INI changes on disk (the settings dialog runs as a process
// of its own, and administrators edit the files by hand). A load whose settings can never lead to
// a backup is told to the user once, since no due tick would ever come to say it.

#include "core/context.h"
#include "core/settings_values.h"

#include <optional>

#include <string_view>

namespace scheduler {

inline constexpr std::string_view kSettingsNoticeTitle = "INIファイル内容チェックエラー";

core::SettingsFileVersions settingsFilesOnDisk(const core::ProgramContext& ctx);

// The last loaded snapshot and the file versions it came from, held by the scheduler tick. Only
// its loads replace the snapshot; everyone else reads it.
class ResidentSettings {
public:
    const core::Settings& current() const { return settings_; }
    const std::optional<core::SettingsFileVersions>& loadedFiles() const { return loadedFiles_; }

    // Loads as start-up does, remembers the files' versions and gives the notice when an item
    // blocks every backup. Returns the load's result, whose database names were compared with no
    // server list (that list is a due tick's).
    bool load(const core::ProgramContext& ctx);
    // For the tick: loads again when either file changed since the last load; true when it did. A
    // change of ZUZOR.INI alone (the product's programs write it all day) reloads without a
    // notice: the items a notice names all live in MSDE_DBTOOL.INI.
    bool reloadIfChanged(const core::ProgramContext& ctx);
    // A due tick's own load, made after the files' versions were taken: the next tick still
    // compares with those.
    void adopt(core::Settings loaded) { settings_ = std::move(loaded); }

    // Writes one of the program's state keys ([Schedule] Iniflg, [BACKUPTIME]) without taking it
    // for a change of the settings.
    bool writeStateKey(const core::ProgramContext& ctx, std::string_view section, std::string_view key,
                       std::string_view value);

private:
    bool loadAndTell(const core::ProgramContext& ctx, bool tell);

    core::Settings settings_;
    std::optional<core::SettingsFileVersions> loadedFiles_; // none before the first load
};

// The label, as the settings check names it, of the first item of the settings files that keeps
// every due tick from backing up; "" when there is none. Database names are compared with the
// server's list at the due tick, once that list is loaded; an external folder only has to be set,
// since a medium that is unplugged now does not stop the local backup.
std::string_view fnFirstBlockingItem(const core::ProgramContext& ctx);

} // namespace scheduler
