#include "core/setup_state.h"

#include "common/password.h"
#include "common/string_utils.h"
#include "core/settings.h"

#include <system_error>

namespace core {
namespace {

bool isBlank(const std::string& value) {
    return common::trim(value).empty();
}

std::string scheduleItem(std::string_view key) {
    return std::string(kScheduleIniName) + " [(local)] " + std::string(key);
}

} // namespace

std::vector<std::string> missingSetupItems(const ProgramContext& ctx) {
    std::vector<std::string> items;
    std::error_code ec;
    const auto zuzor = fnGetZuzorIniPath(ctx);
    if (zuzor.empty() || !std::filesystem::is_regular_file(zuzor, ec)) {
        items.emplace_back(kZuzorIniName);
    } else {
        for (const char* key : {"SERVER_NAME", "DB_NAME"})
            if (isBlank(fnGetZuzorIni(ctx, "DATABASE", key)))
                items.push_back(std::string(kZuzorIniName) + " [DATABASE] " + key);
    }
    if (isBlank(fnGetScheduleIni(ctx, "(local)", "USER_NAME")))
        items.push_back(scheduleItem("USER_NAME"));
    if (isBlank(fnGetScheduleIni(ctx, "(local)", "PASSWORD")))
        items.push_back(scheduleItem("PASSWORD"));
    else if (!std::filesystem::exists(common::passwordKeyPath(ctx.programDir), ec))
        items.emplace_back(common::kPasswordKeyName);
    return items;
}

std::string setupNoticeText(const std::vector<std::string>& items, std::string_view setupCommand) {
    std::string list;
    for (const std::string& item : items)
        list += (list.empty() ? "" : "、") + item;
    return "初期設定が済んでいません。足りない設定：" + list + "。端末で「" + std::string(setupCommand) +
           "」を実行して設定してください。手で設定するときは man encrt-schedule-backup と " ENCRT_DOC_DIR
           "/ を参照してください。";
}

} // namespace core
