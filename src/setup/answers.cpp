#include "setup/answers.h"

#include "common/password.h"
#include "common/string_utils.h"
#include "core/settings.h"

#include <system_error>

namespace setup {
namespace {

using common::trim;

constexpr const char* kScheduleSections[] = {"ScheduleAll", "ScheduleDiff", "ScheduleLOG"};

// The key behind each label of the settings check, for messages that the user acts on in a file
// or an option rather than in the dialog the labels were made for.
constexpr std::pair<std::string_view, std::string_view> kItemKeys[] = {
    {"バックアップDB名", "[Schedule] Db"},
    {"DBバックアップファイル保存先フォルダ", "[Schedule] Path"},
    {"ローカルバックアップ保持期間", "[Schedule] LocalPreserveTerm"},
    {"全体バックアップスケジュール(曜日)", "[ScheduleAll] Day"},
    {"全体バックアップスケジュール(時刻)", "[ScheduleAll] Time"},
    {"差分バックアップスケジュール(時刻)", "[ScheduleDiff] Time"},
    {"ログバックアップスケジュール(時刻)", "[ScheduleLOG] Time"},
    {"DBバックアップファイル　コピー先フォルダ", "[FILE_COPY] DBBACKUPFILE_DIR"},
    {"外部バックアップ保持期間", "[FILE_COPY] OutSidePreserveTerm"},
    {"Sabrelund証明書フォルダ　コピー先フォルダ", "[FILE_COPY] KEYFILE_DIR"},
    {"Sabrelund技術資料フォルダ　コピー先フォルダ", "[FILE_COPY] GIJYUTUFILE_DIR"},
};

std::string withKey(std::string_view label) {
    for (const auto& [itemLabel, key] : kItemKeys)
        if (itemLabel == label)
            return std::string(label) + " (" + std::string(key) + ")";
    return std::string(label);
}

} // namespace

Answers::~Answers() {
    common::wipe(password);
}

bool isTerm(std::string_view text, int highest) {
    return !text.empty() && text.size() <= 5 && common::isDigits(text) && common::fnVal(text) >= 1 &&
           common::fnVal(text) <= highest;
}

bool zuzorIniExists(const core::ProgramContext& ctx) {
    std::error_code ec;
    return std::filesystem::is_regular_file(core::fnGetZuzorIniPath(ctx), ec);
}

Answers currentAnswers(const core::ProgramContext& ctx) {
    const auto own = [&](std::string_view section, std::string_view key) {
        return trim(core::fnGetScheduleIni(ctx, section, key));
    };
    const auto product = [&](std::string_view section, std::string_view key) {
        return trim(core::fnGetZuzorIni(ctx, section, key));
    };
    Answers a;
    a.server = trim(core::fnGetServerName(ctx));
    a.productDatabase = product("DATABASE", "DB_NAME");
    a.productFolder = product("SABRELUND", "PATH");
    a.documentsFolder = product("GIJYUTU", "PATH");
    a.login = own("(local)", "USER_NAME");
    a.storedPassword = common::trimRight(core::fnGetScheduleIni(ctx, "(local)", "PASSWORD"));
    a.databases = core::readSettingsTexts(ctx).databases;
    a.backupFolder = own("Schedule", "Path");
    for (std::size_t slot = 0; slot < a.schedules.size(); ++slot) {
        const ScheduleTexts held{own(kScheduleSections[slot], "Day"), own(kScheduleSections[slot], "Time")};
        if (core::isValidDay(held.day) && core::isValidTime(held.time))
            a.schedules[slot] = held;
    }
    if (const std::string term = own("Schedule", "LocalPreserveTerm"); isTerm(term, 999))
        a.localTerm = term;
    if (const std::string term = own("Schedule", "TEMPLOGTERM"); isTerm(term, 32767))
        a.tempLogTerm = term;
    a.copy = own("FILE_COPY", "EXECUTE") == "1";
    a.copyFolder = own("FILE_COPY", "DBBACKUPFILE_DIR");
    a.certificateCopyFolder = own("FILE_COPY", "KEYFILE_DIR");
    a.documentsCopyFolder = own("FILE_COPY", "GIJYUTUFILE_DIR");
    if (const std::string term = own("FILE_COPY", "OutSidePreserveTerm"); isTerm(term, 999))
        a.copyTerm = term;
    return a;
}

core::SettingsTexts settingsTextsOf(const Answers& a) {
    core::SettingsTexts t;
    t.databases = a.databases;
    t.path = a.backupFolder;
    t.localPreserveTerm = a.localTerm;
    for (std::size_t slot = 0; slot < a.schedules.size(); ++slot) {
        t.days[slot] = a.schedules[slot].day;
        t.times[slot] = a.schedules[slot].time;
    }
    t.execute = a.copy ? "1" : "0";
    t.dbBackupFileDir = a.copyFolder;
    t.outSidePreserveTerm = a.copyTerm;
    t.keyFileDir = a.certificateCopyFolder;
    t.gijyutuFileDir = a.documentsCopyFolder;
    return t;
}

std::string firstFailingItem(const Answers& answers, const std::vector<std::string>& serverDatabases,
                             const core::FolderQueries& folders) {
    const core::CheckRules rules{core::NameRule::OnServer, core::TargetRule::FolderOrAbsent, &serverDatabases};
    const core::SettingsCheck check = core::checkSettings(settingsTextsOf(answers), rules, folders);
    return check.failedItem.empty() ? std::string() : withKey(check.failedItem);
}

} // namespace setup
