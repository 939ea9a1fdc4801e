#pragma once
// The debug log of the data-access classes: options in [DEBUG_OPTION] of a settings file, one
// line per flushed write, the file opened and closed around each line. Files are code page 932
// with CR LF line ends. With logging off a write costs one flag test in the caller.

#include "data/data_env.h"
#include "platform/ui_sink.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace data {

inline constexpr std::string_view kDatabaseLogDefault = "\\DBS_DATABASE.LOG";
inline constexpr std::string_view kRecordsetLogDefault = "\\DBS_RECORDSET.LOG";

// A value of a settings file read with a 2048-character buffer; `def` when missing. A file that
// exists but cannot be read gives `def` and, with a sink, a warning box naming it.
std::string fnReadIniValue(std::string_view section, std::string_view key, std::string_view def,
                           const std::filesystem::path& file, platform::UiSink* ui = nullptr);

// -1 when a regular file of that name exists, else 0.
std::int16_t fnFileExists(const std::filesystem::path& path);

// The column texts between "SELECT " and " FROM" (found without regard to case), each as written
// and followed by a tab; false when either word is missing.
bool fnGetSelectColumns(std::string_view sql, std::string& columns);

// Splits at every occurrence of `separator`; `count` is the index of the last part (the number
// of separators found). An empty text gives one empty part.
void fnSplitText(std::string_view text, std::string_view separator, std::vector<std::string>& parts,
                 std::int16_t& count);

// Now by the environment's clock (the system clock when it has none).
platform::LocalTime logNow(const DataEnv& env);

// "-----<<< yyyy/mm/dd HH:mm:ss >>> -----"
std::string debugLogHeader(platform::LocalTime now);

// ZUZOR.INI in the program folder: the debug options of the database classes.
std::filesystem::path zuzorIniPath(const DataEnv& env);
// The program's own settings file: program folder + executable name + ".INI".
std::filesystem::path programIniPath(const DataEnv& env);

class DebugLog {
public:
    explicit DebugLog(DataEnv env) : env_(std::move(env)) {}

    // Reads RECORDSET_DEBUG (exactly "OFF" = off; anything else, also an empty value, = on) and,
    // when on, RECORDSET_LOGFILE with `defaultFile` for a missing key.
    void readOptions(const std::filesystem::path& settingsFile, std::string_view defaultFile);

    bool on() const { return on_; }
    const DataEnv& env() const { return env_; }
    // The program folder joined with the file value; a leading "\" or "/" of the value is the
    // separator.
    std::filesystem::path path() const;

    // Without flush the text waits in the pending text. With flush the pending text, a CR LF
    // when both are non-empty, and the text are written as one line.
    void sbWriteDebugLog(std::string_view text, bool flush);
    void writeHeader();

private:
    DataEnv env_;
    bool on_ = false;
    std::string fileName_;
    std::string pending_;
};

} // namespace data
