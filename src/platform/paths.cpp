#include "platform/paths.h"

#include "platform/ascii.h"

#include <cstdlib>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;

fs::path executableFolder() {
    std::error_code ec;
    const auto exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : exe.parent_path();
}

fs::path findFileNoCase(const fs::path& folder, std::string_view name) {
    std::error_code ec;
    const fs::path exact = folder / name;
    if (fs::exists(exact, ec))
        return exact;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string candidate = it->path().filename().string();
        if (equalsNoCase(candidate, name))
            return it->path();
    }
    return exact;
}

fs::path runtimeFolder() {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir && fs::is_directory(dir))
        return dir;
    std::error_code ec;
    const auto tmp = fs::temp_directory_path(ec);
    return ec ? fs::path("/tmp") : tmp;
}

} // namespace platform
