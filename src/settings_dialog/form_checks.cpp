#include "settings_dialog/form_checks.h"

#include "common/messages.h"
#include "common/string_utils.h"
#include "core/settings.h"
#include "core/settings_check.h"
#include "platform/codepage.h"
#include "platform/drive_type.h"
#include "platform/filesystem.h"
#include "platform/local_filesystem.h"

#include <algorithm>

namespace settings_dialog {
namespace {

using common::trim;

constexpr std::string_view kTermText = "保持期間が不正です。1～999の半角数値で入力して下さい。";
constexpr std::string_view kTempLogText = "一時退避期間は90～365の半角数値で入力して下さい。";

CheckFailure message(int tab, std::string focus, int code, std::string text) {
    return {tab, std::move(focus), {Notice::Kind::Message, code, std::move(text), {}}};
}

CheckFailure box(int tab, std::string focus, std::string_view text, std::string_view title) {
    return {tab, std::move(focus), {Notice::Kind::Box, 0, std::string(text), std::string(title)}};
}

bool anyTicked(const std::vector<DatabaseItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const DatabaseItem& i) { return i.ticked; });
}

// The first ticked database whose name the settings file cannot hold as it is.
std::optional<std::string> unstorableTick(const std::vector<DatabaseItem>& items) {
    for (const DatabaseItem& i : items)
        if (i.ticked && !platform::roundTripsCp932(i.name))
            return i.name;
    return std::nullopt;
}

// What a settings value is read back as at most: the profile read's 128-byte buffer.
constexpr std::size_t kStoredValueBytes = 127;

// A folder the settings file can name. A path that comes back from the file as another path (a
// character of code page 932 stored under another one's code, or a value cut at the read's
// limit) names a folder that is not there, and no backup runs.
bool usableFolder(const std::string& path, const platform::FileSystem& files) {
    return platform::roundTripsCp932(path) && platform::cp932Length(path) <= kStoredValueBytes &&
           files.folderExists(path) && !core::isRootFolder(path);
}

// A kind that is switched off needs no day.
bool daysWhenOn(const KindSchedule& kind) {
    return !kind.enabled || anyDay(kind.days);
}

// One copy target: not empty, then an existing folder on any kind of drive.
void addTargetSteps(std::vector<CheckStep>& steps, const platform::FileSystem& files, std::string FormValues::*field,
                    const char* control, const char* name) {
    steps.push_back(
        {[field](FormValues& v) { return !trim(v.*field).empty(); }, message(kFileCopyTab, control, 3013, name)});
    steps.push_back({[field, &files](FormValues& v) { return usableFolder(trim(v.*field), files); },
                     message(kFileCopyTab, control, 3005, std::string(name) + "指定")});
}

std::optional<CheckFailure> firstFailure(const std::vector<CheckStep>& steps, FormValues& v) {
    for (const CheckStep& step : steps) {
        if (step.passes(v))
            continue;
        CheckFailure failure = step.failure;
        if (step.insertedText)
            failure.notice.text = step.insertedText(v);
        return failure;
    }
    return std::nullopt;
}

} // namespace

bool checkTerm(std::string& text) {
    return common::fnCheckNumBox(text, "##0", "", true, true);
}

bool checkTempLogTerm(std::string& text) {
    if (!checkTerm(text) || common::fnVal(text) < 90) {
        text = "90";
        return false;
    }
    if (common::fnVal(text) > 365) {
        text = "365";
        return false;
    }
    return true;
}

std::vector<CheckStep> scheduleSteps(const platform::FileSystem& files) {
    constexpr int tab = kScheduleTab;
    std::vector<CheckStep> steps;
    steps.push_back(
        {[](FormValues& v) { return anyTicked(v.databases); }, message(tab, "ListV_DBName", 3014, "データベース")});
    // The name is told, since the list does not show which one the settings file cannot hold.
    steps.push_back({[](FormValues& v) { return !unstorableTick(v.databases); },
                     message(tab, "ListV_DBName", 3005, "データベース名"),
                     [](const FormValues& v) { return "データベース名「" + *unstorableTick(v.databases) + "」"; }});
    steps.push_back({[](FormValues& v) { return !trim(v.dbBackupFolder).empty(); },
                     message(tab, "Txt_DBBackupFolder", 3013, "出力先")});
    steps.push_back(
        {[](FormValues& v) { return platform::driveTypeOf(trim(v.dbBackupFolder)) == platform::DriveType::Fixed; },
         message(tab, "Txt_DBBackupFolder", 3005, "出力先のドライブ種類")});
    // A file of that name is refused like a missing folder (the daily log and the backups go
    // inside it), and so is the root (retention would reach the whole machine).
    steps.push_back({[&files](FormValues& v) { return usableFolder(trim(v.dbBackupFolder), files); },
                     message(tab, "Txt_DBBackupFolder", 3005, "出力先のフォルダ指定")});
    steps.push_back({[](FormValues& v) { return checkTerm(v.localPreserveTerm); },
                     box(tab, "Txt_LocalPreserveTerm", kTermText, platform::kProgramTitle)});
    steps.push_back({[](FormValues& v) { return checkTempLogTerm(v.tempLogTerm); },
                     box(tab, "Txt_TempLogTerm", kTempLogText, platform::kProgramTitle)});
    // The full backup cannot be switched off.
    steps.push_back(
        {[](FormValues& v) { return v.all.enabled; }, message(tab, "Chk_DBBkType_All", 3014, "全体バックアップ")});
    steps.push_back({[](FormValues& v) { return anyDay(v.all.days); },
                     message(tab, "Chk_DBBkType_All", 3014, "全体バックアップの曜日")});
    steps.push_back({[](FormValues& v) { return daysWhenOn(v.diff); },
                     message(tab, "Chk_DBBkType_Diff", 3014, "差分バックアップの曜日")});
    steps.push_back({[](FormValues& v) { return daysWhenOn(v.log); },
                     message(tab, "Chk_DBBkType_Log", 3014, "ログバックアップの曜日")});
    return steps;
}

std::vector<CheckStep> fileCopySteps(const platform::FileSystem& files) {
    std::vector<CheckStep> steps;
    steps.push_back({[](FormValues& v) { return checkTerm(v.outSidePreserveTerm); },
                     box(kFileCopyTab, "Txt_OutSidePreserveTerm", kTermText, "不正画面")});
    addTargetSteps(steps, files, &FormValues::dbCopyTarget, "Txt_DBBkFileCopy_TargetFolder",
                   "DBバックアップファイルのコピー先フォルダ");
    addTargetSteps(steps, files, &FormValues::keyTarget, "Txt_KEYMANAGEFileCopy_TargetFolder",
                   "証明書フォルダのコピー先フォルダ");
    addTargetSteps(steps, files, &FormValues::gijyutuTarget, "Txt_GIJYUTUFileCopy_TargetFolder",
                   "技術資料フォルダのコピー先フォルダ");
    return steps;
}

std::optional<CheckFailure> fnCheckSchedule(FormValues& v, const platform::FileSystem& files) {
    return firstFailure(scheduleSteps(files), v);
}

std::optional<CheckFailure> fnCheckFileCopy(FormValues& v, const platform::FileSystem& files) {
    if (!v.fileCopy)
        return std::nullopt;
    return firstFailure(fileCopySteps(files), v);
}

void showNotice(platform::UiSink& ui, const Notice& notice) {
    if (notice.kind == Notice::Kind::Box)
        ui.messageBox(notice.text, notice.title, platform::MsgIcon::Exclamation);
    else
        common::fnQRMES01_DispMessage(ui, notice.code, 0, notice.text, "", "");
}

} // namespace settings_dialog
