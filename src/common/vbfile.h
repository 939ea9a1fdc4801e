#pragma once
// The two profile primitives every settings access of the program goes through.

#include "platform/ui_sink.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace common {

// The value of section/key in `file`, "" when missing; cut at 127 code page 932 bytes.
std::string fnReadIni(std::string_view section, std::string_view key, const std::filesystem::path& file);

// Writes section/key = value into `file`. A failed write shows message 3024 with the value in
// double quotes and "VBFILE_WriteINI"; the result tells the caller whether the value landed.
bool VBFILE_WriteINI(platform::UiSink& ui, std::string_view section, std::string_view key, std::string_view value,
                     const std::filesystem::path& file);

} // namespace common
