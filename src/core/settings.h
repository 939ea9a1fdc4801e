#pragma once
// MSDE_DBTOOL.INI, the program's own settings, and the keys of the product's ZUZOR.INI that the
// program reads and writes: paths, field checks, loading with defaults and repairs, and the
// stricter check made before every backup.

#include "core/context.h"
#include "core/settings_check.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

inline constexpr std::string_view kScheduleIniName = "MSDE_DBTOOL.INI";
inline constexpr std::string_view kZuzorIniName = "ZUZOR.INI";

std::filesystem::path fnGetScheduleIniPath(const ProgramContext& ctx);
std::string fnGetScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key);
// With `loaded`, writing one of the program's own state keys (Iniflg, BACKUPTIME) keeps those
// versions current: such a write changes no setting and must not count as a change of the file.
bool writeScheduleIni(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string_view value,
                      std::optional<SettingsFileVersions>* loaded = nullptr);
std::filesystem::path fnGetZuzorIniPath(const ProgramContext& ctx);
std::string fnGetZuzorIni(const ProgramContext& ctx, std::string_view section, std::string_view key);
void sbSetZuzorIni(const ProgramContext& ctx, std::string_view section, std::string_view key, std::string_view value);
// [DATABASE] SERVER_NAME of ZUZOR.INI, read with a 1024-character buffer.
std::string fnGetServerName(const ProgramContext& ctx);

// The value tests, on trimmed texts.
bool isValidDay(std::string_view day);   // 1 to 3 digits, 1 to 127
bool isValidTime(std::string_view time); // "hh:mm", 00-23 and 00-59

// [Schedule] Db, read whole: the dialog saves selections of any length, and a selection cut at
// the 127 bytes every other key is read with would name a database that does not exist.
std::string readScheduleDb(const ProgramContext& ctx);

// Reads [Schedule] Db, hands the names back and tells whether each is on the server's list.
bool fnCheckDbNames(const ProgramContext& ctx, const std::vector<std::string>& serverDatabases,
                    std::vector<std::string>& names);

// The temporary-log term: TEMPLOGTERM, else ZUZOR.INI [ENCNT] MAILSRLOGTERM, else "90".
std::string effectiveTempLogTerm(const ProgramContext& ctx);
// The same as a typed term, refused when the text it comes from is not digits only.
Term tempLogTermOf(const ProgramContext& ctx);

// The typed settings the load makes of the texts read, without writing anything.
Settings settingsFromTexts(const SettingsTexts& texts, Term tempLogTerm);

// A load's snapshot, and whether every rule passed (a failed rule still leaves a full snapshot).
struct LoadedSettings {
    Settings settings;
    bool ok = false;
    explicit operator bool() const { return ok; }
};

// Loads every value, writing the repairs the load makes; database names are checked against
// `serverDatabases`.
LoadedSettings fnLoadSettings(const ProgramContext& ctx, const std::vector<std::string>& serverDatabases);

// What fnLoadSettings would load now, read without writing a repair: for the health check, which
// must neither write nor lock.
Settings peekSettings(const ProgramContext& ctx);

// The items of the settings check as MSDE_DBTOOL.INI holds them now.
SettingsTexts readSettingsTexts(const ProgramContext& ctx);

// Stops at the first bad item with its message box; writes the defaults the checks repair.
bool fnCheckIniContents(ProgramContext& ctx, const std::vector<std::string>& serverDatabases);

} // namespace core
