#pragma once
// QRCDBG_LogOut: the debug log offered to any caller, in the format of the data-access classes.
// Logging stays off until prINIPath names the settings file; a log whose first header is three or
// more days old is started afresh.

#include "data/debug_log.h"

#include <cstdint>
#include <string_view>

namespace data {

class QRCDBG_LogOut {
public:
    explicit QRCDBG_LogOut(DataEnv env) : log_(std::move(env)) {}

    // The settings file; a blank path means the program's own settings file.
    void prINIPath(std::string_view sIniPathName);
    std::int16_t fnFileExists(std::string_view path) const;
    // "[ title ] yyyy/mm/dd HH:mm:ss" when a title is given, then the text when it is not empty.
    void sbWriteLogLine(std::string_view sLogDat, std::string_view sTitle = {});
    bool fnGetLogMode() const { return log_.on(); }

private:
    void startAfreshWhenOld();

    DebugLog log_;
};

} // namespace data
