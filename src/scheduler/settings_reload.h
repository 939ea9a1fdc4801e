#pragma once
// The settings as the resident program holds them: loaded at start-up, and loaded again the same
// way whenever MSDE_DBTOOL.INI or ZUZOR.INI changes on disk (the settings dialog runs as a process
// of its own, and administrators edit the files by hand). A load whose settings can never lead to
// a backup is told to the user once, since no due tick would ever come to say it.

#include "scheduler/context.h"

#include <string_view>

namespace scheduler {

inline constexpr std::string_view kSettingsNoticeTitle = "INIファイル内容チェックエラー";

SettingsFileVersions settingsFilesOnDisk(const ProgramContext& ctx);

// The label, as the settings check names it, of the first loaded item that keeps every due tick
// from backing up; "" when there is none. Database names are compared with the server's list at
// the due tick, once that list is loaded; an external folder only has to be set, since a medium
// that is unplugged now does not stop the local backup.
std::string_view fnFirstBlockingItem(const ProgramContext& ctx);

// Loads the settings as start-up does, remembers the files' versions and gives the notice when
// an item blocks every backup. Returns the load's result, whose database names were compared
// with no server list (that list is a due tick's).
bool loadResidentSettings(ProgramContext& ctx);

// For the tick: loads again when either file changed since the last load; true when it did. A
// change of ZUZOR.INI alone (the product's programs write it all day) reloads without a notice:
// the items a notice names all live in MSDE_DBTOOL.INI.
bool reloadChangedSettings(ProgramContext& ctx);

} // namespace scheduler
