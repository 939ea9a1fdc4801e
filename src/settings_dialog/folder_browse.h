#pragma once
// The four "..." buttons: a folder chooser opened on the field's folder, and for the local backup
// folder the refusal of anything but a fixed local disk.

#include "platform/drive_type.h"
#include "platform/filesystem.h"
#include "platform/ui_sink.h"

#include <optional>
#include <string>
#include <string_view>

namespace settings_dialog {

// The chosen folder, or "" when the user cancelled. The chooser opens on the initial folder, on
// the nearest existing folder above it when it is missing, and at "/" when it is empty.
std::string fnBrowseFolder(platform::UiSink& ui, const platform::FileSystem& files, std::string_view title,
                           std::string_view initialFolder);

// What the user is told when a folder on this kind of drive is chosen as the local backup
// folder; nothing for a fixed disk.
std::optional<std::string_view> driveRefusal(platform::DriveType type);

// The text that replaces the field after a browse, or nothing to leave the field as it is (the
// chooser was cancelled, or a local folder was refused with its message).
std::optional<std::string> browseForField(platform::UiSink& ui, const platform::FileSystem& files,
                                          std::string_view title, std::string_view current, bool localOnly);

} // namespace settings_dialog
