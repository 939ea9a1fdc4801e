#pragma once
// What the steps of one copy run share: the services, the run's plan and backup files, the run's
// file-system object and the daily log, open from the start of the run to its end, and the
// failures met so far.

#include "core/context.h"
#include "core/daily_log.h"
#include "core/run_report.h"
#include "platform/filesystem.h"

#include <string>
#include <string_view>
#include <system_error>

namespace copy {

struct CopyRun {
    const core::ProgramContext& ctx;
    const core::RunPlan& plan;
    const core::BackupFiles& files;
    const platform::FileSystem& fs;
    core::DailyLog& log;
    core::RunFailures failures = {}; // those that make the run count as failed

    const core::Settings& settings() const { return plan.settings; }
    void fail(core::RunStage stage, std::string subject, std::string reason) {
        failures.push_back({stage, std::move(subject), std::move(reason)});
    }
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
