#pragma once
// The answers of a set-up: what it writes into ZUZOR.INI and MSDE_DBTOOL.INI, read first from the
// files as they are (so that a second set-up starts from the first one's answers), and judged by
// the same settings check as every run.

#include "core/context.h"
#include "core/settings_check.h"
#include "setup/weekdays.h"

#include <array>
#include <string>
#include <vector>

namespace setup {

struct Answers {
    // ZUZOR.INI: the product's file. Written only when it is missing; otherwise only keys it lacks.
    std::string server;          // [DATABASE] SERVER_NAME
    std::string productDatabase; // [DATABASE] DB_NAME
    std::string productFolder;   // [SABRELUND] PATH
    std::string documentsFolder; // [GIJYUTU] PATH

    // MSDE_DBTOOL.INI
    std::string login;                  // [(local)] USER_NAME
    std::string password;               // a new password, plain; "" keeps storedPassword
    std::string storedPassword;         // [(local)] PASSWORD as the file holds it
    std::vector<std::string> databases; // [Schedule] Db
    std::string backupFolder;           // [Schedule] Path
    std::array<ScheduleTexts, 3> schedules{ScheduleTexts{"64", "02:00"}}; // full, differential, log
    std::string localTerm = "30";                                         // [Schedule] LocalPreserveTerm
    std::string tempLogTerm;           // [Schedule] TEMPLOGTERM; "" leaves the key as it is
    bool copy = false;                 // [FILE_COPY] EXECUTE
    std::string copyFolder;            // [FILE_COPY] DBBACKUPFILE_DIR
    std::string certificateCopyFolder; // [FILE_COPY] KEYFILE_DIR
    std::string documentsCopyFolder;   // [FILE_COPY] GIJYUTUFILE_DIR
    std::string copyTerm = "60";       // [FILE_COPY] OutSidePreserveTerm

    Answers() = default;
    Answers(const Answers&) = default;
    Answers& operator=(const Answers&) = default;
    ~Answers();
};

// Whether ZUZOR.INI exists in the settings folder (under any case of its name).
bool zuzorIniExists(const core::ProgramContext& ctx);

// The answers the settings folder holds now; the defaults above where it holds nothing usable.
Answers currentAnswers(const core::ProgramContext& ctx);

// The settings check's items as the answers would write them.
core::SettingsTexts settingsTextsOf(const Answers& answers);

// The first item the answers fail, as the settings check names it and with the key that holds
// it ("DBバックアップファイル保存先フォルダ ([Schedule] Path)"); "" when they pass. The databases must
// be on `serverDatabases`, the backup folder on a fixed disk, a copy target a folder or absent.
std::string firstFailingItem(const Answers& answers, const std::vector<std::string>& serverDatabases,
                             const core::FolderQueries& folders);

// Digits only, from 1 to `highest`.
bool isTerm(std::string_view text, int highest);

} // namespace setup
