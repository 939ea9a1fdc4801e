#include "platform/posix_files.h"

#include "platform/filesystem.h"

#include <algorithm>
#include <fcntl.h>

namespace platform::posix {
namespace fs = std::filesystem;

std::error_code refuseReadOnlyFolder(const fs::path& folder) {
    struct stat st {};
    if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !ownerWritable(st))
        return errorOf(std::errc::permission_denied);
    return {};
}

DirPtr openFolder(int at, const char* name) {
    const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DirPtr dir(fd < 0 ? nullptr : ::fdopendir(fd), ::closedir);
    if (fd >= 0 && !dir) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return dir;
}

std::vector<NamedEntry> readEntries(DIR* dir, std::error_code& ec) {
    std::vector<NamedEntry> entries;
    ec = walkFolder(dir, [&](const dirent& d) { entries.push_back({std::string(d.d_name), d.d_type}); });
    std::sort(entries.begin(), entries.end(),
              [](const NamedEntry& x, const NamedEntry& y) { return ntfsNameLess(x.name, y.name); });
    return entries;
}

bool isInside(const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o)
            return false;
    return true;
}

} // namespace platform::posix
