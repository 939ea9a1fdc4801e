#include "settings_dialog/folder_browse.h"

#include "common/string_utils.h"
#include "platform/filesystem.h"

#include <filesystem>

namespace settings_dialog {
namespace {

// Where the chooser opens: the field's folder, or the nearest folder above it that exists. A
// chooser given an empty, relative or missing path opens at the process's working folder, which
// means nothing to the user; the top of the file system does.
std::string startFolder(const platform::FileSystem& files, std::string_view initialFolder) {
    std::filesystem::path p(common::trim(initialFolder));
    if (!p.is_absolute())
        return "/";
    while (!files.folderExists(p) && p.has_relative_path())
        p = p.parent_path();
    return p.string();
}

} // namespace

std::string fnBrowseFolder(platform::UiSink& ui, const platform::FileSystem& files, std::string_view title,
                           std::string_view initialFolder) {
    return ui.chooseFolder(title, startFolder(files, initialFolder));
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

std::optional<std::string> browseForField(platform::UiSink& ui, const platform::FileSystem& files,
                                          std::string_view title, std::string_view current, bool localOnly) {
    std::string chosen = fnBrowseFolder(ui, files, title, current);
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
