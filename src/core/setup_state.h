#pragma once
// Whether a settings folder was ever set up. The server, the product database and the login live
// in ZUZOR.INI and MSDE_DBTOOL.INI [(local)], and the check before a run looks at none of them: a
// folder that lacks them is told apart from one whose settings are merely wrong, so that the first
// start names what is missing and the way to give it instead of the first item the check fails.

#include "core/context.h"

#include <string>
#include <string_view>
#include <vector>

namespace core {

inline constexpr std::string_view kSetupNoticeTitle = "スケジュールバックアップの初期設定";

// What a first set-up gives that the folder lacks, in the order a person gives it: "ZUZOR.INI"
// (the whole file) or its [DATABASE] SERVER_NAME and DB_NAME, then MSDE_DBTOOL.INI [(local)]
// USER_NAME and PASSWORD, and the key file when a stored password has none to decipher it with.
// Empty for a folder that was set up.
std::vector<std::string> missingSetupItems(const ProgramContext& ctx);

// The notice for a folder that lacks `items`: what is missing, then the next step: `setupCommand`
// (the command that sets up this very folder), or the manual page and the documentation.
std::string setupNoticeText(const std::vector<std::string>& items, std::string_view setupCommand);

} // namespace core
