#include "platform/filesystem.h"

#include "platform/ascii.h"
#include "platform/posix_files.h"
#include "platform/utf8.h"

#include <algorithm>
#include <fcntl.h>

namespace platform {
namespace fs = std::filesystem;
using posix::errorOf;
using posix::lastError;

namespace {

bool matchFrom(std::string_view p, std::size_t pi, std::string_view n, std::size_t ni) {
    // Iterative matcher with one backtracking point for the last "*".
    std::size_t starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ni = utf8::next(n, ni);
        } else if (pi < p.size() && asciiUpper(p[pi]) == asciiUpper(n[ni])) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            starN = utf8::next(n, starN);
            ni = starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}
} // namespace

int openForAppend(const fs::path& p, std::error_code& ec) {
    ec.clear();
    // O_NONBLOCK: a planted FIFO without a reader would otherwise hold the open forever.
    const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        ec = lastError();
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        ec = lastError();
    else if (!S_ISREG(st.st_mode))
        ec = errorOf(std::errc::invalid_argument);
    else if (::fcntl(fd, F_SETFL, O_APPEND) != 0)
        ec = lastError();
    if (ec) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    // "*" and a plain tail ("*.DAT"), the retention's pattern: a suffix test.
    if (pattern.size() > 1 && pattern[0] == '*' && pattern.find_first_of("*?", 1) == std::string_view::npos) {
        const std::string_view tail = pattern.substr(1);
        if (name.size() < tail.size())
            return false;
        const std::string_view end = name.substr(name.size() - tail.size());
        return std::equal(end.begin(), end.end(), tail.begin(),
                          [](char a, char b) { return asciiUpper(a) == asciiUpper(b); });
    }
    return matchFrom(pattern, 0, name, 0);
}

bool ntfsNameLess(std::string_view a, std::string_view b) {
    // Names in one folder often share long beginnings: skip the equal bytes first.
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    for (auto x = ia, y = ib; x != a.end() && y != b.end(); ++x, ++y) {
        const auto ux = static_cast<unsigned char>(asciiUpper(*x));
        const auto uy = static_cast<unsigned char>(asciiUpper(*y));
        if (ux != uy)
            return ux < uy;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string folderCopyName(const fs::path& folder) {
    fs::path p = folder.lexically_normal();
    if (!p.has_filename())
        p = p.parent_path();
    if (p == p.root_path())
        return {};
    if (p.filename() == "." || p.filename() == "..") {
        // Only a resolved path tells which folder "." or ".." is.
        std::error_code ec;
        p = fs::weakly_canonical(folder, ec);
        return ec || p == p.root_path() ? std::string() : p.filename().string();
    }
    return p.filename().string();
}
std::optional<std::uintmax_t> FileSystem::availableSpace(const std::filesystem::path& p, std::error_code& ec) const {
    const std::filesystem::space_info space = std::filesystem::space(p, ec);
    if (ec)
        return std::nullopt;
    return space.available;
}

} // namespace platform
