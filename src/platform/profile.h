#pragma once
// INI files read and written the way the Windows profile functions do it: section and key names
// match without regard to ASCII case, values are trimmed of blanks around "=", the first of
// duplicate sections or keys wins, a missing file, section or key reads as the default, and the
// caller's buffer size cuts a value in code page 932 bytes. A write changes one line (or appends
// the key or section) and keeps every other byte of the file; the file is replaced atomically.
//
// Files are code page 932; a file that starts with a UTF-8 byte-order mark is read and written as
// UTF-8 with its mark kept. Line ends may be CR LF or LF; new lines follow the file's own style.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace platform {

// One version of a file as the file system tells it apart: which file the name leads to (device
// and inode: a file replaced by renaming is another file), its size, and its modification and
// change times. A missing file is a version of its own.
struct FileVersion {
    bool exists = false;
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modifiedNs = 0, changedNs = 0;
    bool operator==(const FileVersion&) const = default;
};

FileVersion fileVersion(const std::filesystem::path& file);

// Returns the value, or `def` when the file, section or key is missing. The result holds at most
// bufferSize - 1 code page 932 bytes; a double-byte character that does not fit whole is dropped.
// When `readError` is given it receives the error of a file that exists but cannot be read (the
// default is returned then); a missing file is no error. A file is read and decoded once per
// version: later reads of the same version look its keys up in memory.
std::string profileRead(const std::filesystem::path& file, std::string_view section, std::string_view key,
                        std::string_view def, std::size_t bufferSize, std::error_code* readError = nullptr);

// Sets section/key to value. Returns an empty error code on success. The file is created when
// missing; a read-only file (owner-write bit clear) or an unwritable folder fails and leaves the
// file as it was.
std::error_code profileWrite(const std::filesystem::path& file, std::string_view section, std::string_view key,
                             std::string_view value);

} // namespace platform
