#include "platform/write_all.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

} // namespace

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) { // nothing written and no error: give up rather than spin
            errno = EIO;
            return false;
        }
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

std::error_code replaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    std::string tmpl = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return lastError();
    std::error_code ec;
    if (!writeAll(fd, bytes))
        ec = lastError();
    if (!ec && ::fchmod(fd, mode) != 0)
        ec = lastError();
    if (!ec && ::fsync(fd) != 0)
        ec = lastError();
    if (::close(fd) != 0 && !ec)
        ec = lastError();
    if (!ec && ::rename(tmpl.c_str(), file.c_str()) != 0)
        ec = lastError();
    if (ec)
        ::unlink(tmpl.c_str());
    return ec;
}

} // namespace platform
