#include "core/product_folders.h"

#include "common/string_utils.h"
#include "common/vbfile.h"
#include "core/settings.h"
#include "platform/paths.h"

namespace core {

std::string productFolder(const ProgramContext& ctx) {
    return common::trim(fnGetZuzorIni(ctx, "SABRELUND", "PATH"));
}

std::filesystem::path dedodaIniPath(const ProgramContext& ctx) {
    std::string folder = productFolder(ctx);
    // Without an install folder there is no DEDoda.ini to read; joining "" would look in "/".
    if (folder.empty())
        return {};
    if (folder.back() != '/')
        folder += '/';
    return platform::findFileNoCase(folder, "DEDoda.ini");
}

std::string certificateSourceFolder(const ProgramContext& ctx) {
    return common::trim(common::fnReadIni("keymanage", "KeyRoot", dedodaIniPath(ctx)));
}

std::string documentsSourceFolder(const ProgramContext& ctx) {
    return common::trim(fnGetZuzorIni(ctx, "GIJYUTU", "PATH"));
}

} // namespace core
