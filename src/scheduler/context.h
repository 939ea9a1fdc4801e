#pragma once
// The program-wide values: owned by main, handed to every module. Each group is filled by the
// module named beside it and read by the later stages of the same run.

#include "data/data_env.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/profile.h"
#include "platform/ui_sink.h"

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

// The values of MSDE_DBTOOL.INI as fnLoadSettings leaves them.
struct Settings {
    std::vector<std::string> databases; // [Schedule] Db, split at TAB
    std::string path;                   // [Schedule] Path, the local backup folder
    std::string allDay, allTime;        // [ScheduleAll]
    std::string diffDay, diffTime;      // [ScheduleDiff]
    std::string logDay, logTime;        // [ScheduleLOG]
    std::string dbBackupFileDir;        // [FILE_COPY] DBBACKUPFILE_DIR
    std::string keyFileDir;             // [FILE_COPY] KEYFILE_DIR
    std::string gijyutuFileDir;         // [FILE_COPY] GIJYUTUFILE_DIR
    std::string execute;                // [FILE_COPY] EXECUTE, "0" or "1"
    std::string localPreserveTerm;      // [Schedule] LocalPreserveTerm
    std::string outSidePreserveTerm;    // [FILE_COPY] OutSidePreserveTerm
    std::string tempLogTerm;            // [Schedule] TEMPLOGTERM or its fallback
};

// Which MSDE_DBTOOL.INI and ZUZOR.INI the settings were loaded from, and in which versions.
struct SettingsFileVersions {
    std::filesystem::path scheduleIni, zuzorIni;
    platform::FileVersion schedule, zuzor;
    bool operator==(const SettingsFileVersions&) const = default;
};

// Due-kind slots filled by the schedule evaluation.
enum DueSlot { kDueFull = 0, kDueDiff = 1, kDueLog = 2 };

// The backup files the database stage wrote in this run, read by the external copy. Entry i of
// a list belongs to selected database i.
struct BackupFiles {
    std::vector<std::string> full, diff, log;
    std::string master, msdb, model;
    // The files of the lists above that the server reported written in this run.
    std::vector<std::string> written;
    void reset() { *this = BackupFiles{}; }
};

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

    // The name of the program's active window, "" when none is active; unset in headless runs.
    std::function<std::string()> activeWindowName;

    // The run.
    BackupFiles backupFiles;
    std::filesystem::path dailyLogPath;
    bool runError = false;

    // The run time: the instant of the evaluation that found the run due.
    platform::LocalTime runTime() const;
    // The environment of the data-access classes; its ODBC driver comes from [ODBC] DRIVER.
    data::DataEnv dataEnv() const;
    void releaseDatabase();
};

} // namespace scheduler
