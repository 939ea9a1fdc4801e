#pragma once
// What the steps of one copy run share: the program context, the run's file-system object and
// the daily log, open from the start of the run to its end.

#include "platform/filesystem.h"
#include "scheduler/context.h"
#include "scheduler/daily_log.h"

#include <set>
#include <string>
#include <string_view>
#include <system_error>

namespace copy {

struct CopyRun {
    scheduler::ProgramContext& ctx;
    const platform::FileSystem& fs;
    scheduler::DailyLog& log;
    std::set<std::string> sweptFolders; // target folders cleared of left-over temporary copies
};

// "結果：" + outcome + one ideographic space: how every result line begins.
std::string resultPrefix(std::string_view outcome);

// A blank target setting names no folder. It must never be joined with "/" into a path below
// the root folder, where a retention would delete and a copy would write.
bool namesAFolder(std::string_view setting);

// The text of a failure box: lines separated by a carriage return alone.
std::string failureBoxText(std::string_view heading, std::string_view source, std::string_view targetFolder,
                           std::string_view errorText);

} // namespace copy
