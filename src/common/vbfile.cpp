#include "common/vbfile.h"

#include "common/messages.h"
#include "platform/profile.h"

namespace common {

std::string fnReadIni(std::string_view section, std::string_view key, const std::filesystem::path& file) {
    return platform::profileRead(file, section, key, "", 128);
}

bool VBFILE_WriteINI(platform::UiSink& ui, std::string_view section, std::string_view key, std::string_view value,
                     const std::filesystem::path& file) {
    if (!platform::profileWrite(file, section, key, value))
        return true;
    fnQRMES01_DispMessage(ui, 3024, 0, "\"" + std::string(value) + "\"", "", "VBFILE_WriteINI");
    return false;
}

} // namespace common
