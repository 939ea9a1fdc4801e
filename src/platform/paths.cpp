#include "platform/paths.h"

#include "platform/ascii.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

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

namespace {

fs::path userConfigHome() {
    if (const char* dir = std::getenv("XDG_CONFIG_HOME"); dir && *dir == '/')
        return dir;
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".config";
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
        return fs::path(pw->pw_dir) / ".config";
    return fs::current_path() / ".config";
}

} // namespace

fs::path defaultSettingsFolder(const fs::path& executableFolder, std::string_view settingsFile,
                               std::string_view programName, bool create) {
    std::error_code ec;
    if (fs::is_regular_file(findFileNoCase(executableFolder, settingsFile), ec))
        return executableFolder;
    const fs::path home = userConfigHome();
    const fs::path folder = home / programName;
    if (create && !fs::exists(folder, ec)) {
        // ~/.config itself as the XDG rules want it, then ours, both private to the user.
        if (!fs::exists(home, ec) && fs::create_directories(home, ec))
            ::chmod(home.c_str(), 0700);
        if (fs::create_directory(folder, ec))
            ::chmod(folder.c_str(), 0700);
    }
    return folder;
}

} // namespace platform
