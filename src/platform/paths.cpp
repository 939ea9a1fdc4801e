#include "platform/paths.h"

#include <cstdlib>
#include <system_error>

namespace platform {
namespace fs = std::filesystem;

namespace {
bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}
} // namespace

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
