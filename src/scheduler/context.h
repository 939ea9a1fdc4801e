#pragma once
// The program-wide values: owned by main, handed to every module. Each group is filled by the
// module named beside it and read by the later stages of the same run.

#include "data/data_env.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/profile.h"
#include "platform/ui_sink.h"
#include "scheduler/settings_values.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scheduler {

struct ProgramContext {
    ProgramContext(platform::Clock& clock, platform::UiSink& ui, const platform::FileSystem& files,
                   std::filesystem::path programDir);
    // With the real file system, for the callers that only read settings and talk to the server.
    ProgramContext(platform::Clock& clock, platform::UiSink& ui, std::filesystem::path programDir);
    ProgramContext(const ProgramContext&) = delete;
    ProgramContext& operator=(const ProgramContext&) = delete;

    platform::Clock& clock;
    platform::UiSink& ui;
    const platform::FileSystem& files; // every file the stages list, copy or delete goes through it
    std::filesystem::path programDir;  // plays the program's own folder (--config-dir)

    // The environment of the data-access classes; its ODBC driver comes from [ODBC] DRIVER.
    data::DataEnv dataEnv() const;
};

} // namespace scheduler
