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

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace data {
class QRCDBS_DataBase;
}

namespace scheduler {

// Due-kind slots filled by the schedule evaluation.
enum DueSlot { kDueFull = 0, kDueDiff = 1, kDueLog = 2 };

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

    Settings settings;
    // Set by the resident program's loads (start-up and reloads). Mutable because writing one of
    // the program's own state keys (Iniflg, BACKUPTIME) keeps it current: those writes change no
    // setting and must not count as a change of the file.
    mutable std::optional<SettingsFileVersions> loadedFiles;

    // Schedule evaluation.
    std::optional<platform::LocalTime> startTime;
    std::optional<platform::LocalTime> previousTick;
    std::optional<platform::LocalTime> currentTick;
    std::array<std::string, 3> dueKinds;

    // The server: user databases (names only, in the server's order) and the shared connection
    // with the login of the last successful fnGetDbObject.
    std::vector<std::string> serverDatabases;
    std::shared_ptr<data::QRCDBS_DataBase> database;
    std::string dbUser;
    std::string dbPassword;

    // The run time: the instant of the evaluation that found the run due.
    platform::LocalTime runTime() const;
    // The environment of the data-access classes; its ODBC driver comes from [ODBC] DRIVER.
    data::DataEnv dataEnv() const;
    void releaseDatabase();
};

} // namespace scheduler
