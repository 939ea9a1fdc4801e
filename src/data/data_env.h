#pragma once
// What the data-access classes need from the program around them.

#include "platform/clock.h"
#include "platform/ui_sink.h"

#include <filesystem>
#include <string>

namespace data {

struct DataEnv {
    platform::Clock* clock = nullptr;   // debug-log headers
    platform::UiSink* ui = nullptr;     // debug-log failure boxes, message 3024 of the change marker
    std::filesystem::path programDir;   // ZUZOR.INI (debug options, change marker) and debug logs
    std::string odbcDriver = "FreeTDS"; // MSDE_DBTOOL.INI [ODBC] DRIVER
    int loginTimeoutSeconds = 15;
};

} // namespace data
