#pragma once
// The services every module works through: the clock, the user interface, the file system and
// the program's folder. Owned by main and never changed after it is made; what changes (the
// tick's state, the loaded settings, a connection) is held by whoever owns that work.

#include "core/settings_values.h"
#include "data/data_env.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/profile.h"
#include "platform/ui_sink.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {

struct ProgramContext {
    ProgramContext(platform::Clock& clock, platform::UiSink& ui, const platform::FileSystem& files,
                   std::filesystem::path programDir);
    ProgramContext(const ProgramContext&) = delete;
    ProgramContext& operator=(const ProgramContext&) = delete;

    platform::Clock& clock;
    platform::UiSink& ui;
    const platform::FileSystem& files; // every file the stages list, copy or delete goes through it
    std::filesystem::path programDir;  // plays the program's own folder (--config-dir)

    // The environment of the data-access classes; its ODBC driver comes from [ODBC] DRIVER.
    data::DataEnv dataEnv() const;
};

} // namespace core
