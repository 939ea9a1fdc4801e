#include "settings_dialog/folder_browse.h"

#include "common/string_utils.h"

namespace settings_dialog {

std::string fnBrowseFolder(platform::UiSink& ui, std::string_view title, std::string_view initialFolder) {
    return ui.chooseFolder(title, initialFolder);
}

std::optional<std::string_view> driveRefusal(platform::DriveType type) {
    using platform::DriveType;
    switch (type) {
    case DriveType::Fixed:
        return std::nullopt;
    case DriveType::Unknown:
        return "判別できないドライブです。";
    case DriveType::NoRoot:
        return "存在しないドライブです。";
    case DriveType::Removable:
    case DriveType::Remote:
    case DriveType::CdRom:
    case DriveType::RamDisk:
        break;
    }
    return "指定できないドライブです。";
}

std::optional<std::string> browseForField(platform::UiSink& ui, std::string_view title, std::string_view current,
                                          bool localOnly) {
    std::string chosen = fnBrowseFolder(ui, title, current);
    if (localOnly && !common::trim(chosen).empty()) {
        if (const auto refusal = driveRefusal(platform::driveTypeOf(common::trim(chosen)))) {
            ui.messageBox(*refusal, platform::kProgramTitle, platform::MsgIcon::Exclamation);
            chosen.clear();
        }
    }
    if (chosen.empty())
        return std::nullopt;
    return chosen;
}

} // namespace settings_dialog
