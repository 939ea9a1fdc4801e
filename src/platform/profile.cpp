#include "platform/profile.h"

#include "platform/ascii.h"
#include "platform/codepage.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::string raw; // bytes as on disk, without the line end
    std::string eol; // "\r\n", "\n", "\r" or "" for a last line without one
};

struct IniFile {
    bool utf8 = false; // started with a UTF-8 byte-order mark
    std::vector<Line> lines;
};

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Reads the whole file; a missing file gives an empty, valid result.
std::optional<std::string> readBytes(const fs::path& file, std::error_code& ec) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::string();
        ec = lastError();
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory) : lastError();
        ::close(fd);
        return std::nullopt;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ec = lastError();
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buf, std::size_t(n));
    }
    ::close(fd);
    return bytes;
}

IniFile parse(std::string_view bytes) {
    IniFile ini;
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        ini.utf8 = true;
        bytes.remove_prefix(kUtf8Bom.size());
    }
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto end = bytes.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            ini.lines.push_back({std::string(bytes.substr(pos)), ""});
            break;
        }
        const std::size_t eolLength = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        ini.lines.push_back({std::string(bytes.substr(pos, end - pos)), std::string(bytes.substr(end, eolLength))});
        pos = end + eolLength;
    }
    return ini;
}

std::string decodeLine(const IniFile& ini, const std::string& raw) {
    if (!ini.utf8)
        return fromCp932(raw);
    return isValidUtf8(raw) ? raw : fromCp932(toCp932(raw));
}

std::string encodeLine(const IniFile& ini, std::string_view text) {
    return ini.utf8 ? std::string(text) : toCp932(text);
}

// The section name of a "[name]" line, or nullopt for any other line.
std::optional<std::string_view> sectionName(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    const auto close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trimBlanks(text.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> keyLine(std::string_view text) {
    const auto eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trimBlanks(text.substr(0, eq)), trimBlanks(text.substr(eq + 1))};
}

// Where a section and one of its keys stand in the file.
struct Location {
    std::optional<std::size_t> header; // the first section of that name
    std::optional<std::size_t> key;    // the first key of that name in it
    std::size_t lastContent = 0;       // last non-blank line of the section
    std::string keyText;               // the key as spelled in the file
    std::string value;
};

Location locate(const IniFile& ini, std::string_view section, std::string_view key) {
    Location loc;
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        const std::string text = decodeLine(ini, ini.lines[i].raw);
        if (const auto name = sectionName(text)) {
            if (loc.header)
                break;
            if (equalsNoCase(*name, section)) {
                loc.header = i;
                loc.lastContent = i;
            }
            continue;
        }
        if (!loc.header)
            continue;
        if (!trimBlanks(text).empty())
            loc.lastContent = i;
        if (loc.key)
            continue;
        if (const auto kv = keyLine(text); kv && equalsNoCase(kv->key, key)) {
            loc.key = i;
            loc.keyText = std::string(kv->key);
            loc.value = std::string(kv->value);
        }
    }
    return loc;
}

// A value in matching single or double quotes is read without them, as Windows reads it.
std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// Cuts a code page 932 text to at most `max` bytes without splitting a double-byte character.
std::string cutCp932(const std::string& bytes, std::size_t max) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[pos]);
        const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
        const std::size_t width = lead ? 2 : 1;
        if (pos + width > max)
            break;
        pos += width;
    }
    return bytes.substr(0, std::min(pos, bytes.size()));
}

std::string eolStyle(const IniFile& ini) {
    for (const auto& line : ini.lines)
        if (!line.eol.empty())
            return line.eol;
    return "\r\n";
}

std::string serialize(const IniFile& ini) {
    std::string out = ini.utf8 ? std::string(kUtf8Bom) : std::string();
    for (const auto& line : ini.lines) {
        out += line.raw;
        out += line.eol;
    }
    return out;
}

class FolderLock {
public:
    explicit FolderLock(const fs::path& folder) : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0)
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// The file a write goes to: the target of a symbolic link, so that the link stays a link.
fs::path writeTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        const auto resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            return resolved;
    }
    return file;
}

std::error_code writeAtomically(const fs::path& file, const std::string& bytes, mode_t mode) {
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    std::string tmpl = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0)
        return lastError();
    std::error_code ec;
    std::size_t done = 0;
    while (done < bytes.size() && !ec) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ec = lastError();
        else
            done += std::size_t(n);
    }
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

std::string oneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

std::string profileRead(const fs::path& file, std::string_view section, std::string_view key, std::string_view def,
                        std::size_t bufferSize, std::error_code* readError) {
    std::error_code ec;
    const auto bytes = readBytes(file, ec);
    if (readError)
        *readError = ec;
    std::string value(def);
    if (bytes) {
        const IniFile ini = parse(*bytes);
        if (const Location loc = locate(ini, section, key); loc.key)
            value = unquoted(loc.value);
    }
    if (bufferSize == 0)
        return {};
    const std::string encoded = toCp932(value);
    if (encoded.size() < bufferSize)
        return value;
    return fromCp932(cutCp932(encoded, bufferSize - 1));
}

std::error_code profileWrite(const fs::path& path, std::string_view section, std::string_view key,
                             std::string_view value) {
    const fs::path file = writeTarget(path);
    std::error_code ec;
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return std::make_error_code(S_ISDIR(st.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
        if ((st.st_mode & S_IWUSR) == 0)
            return std::make_error_code(std::errc::permission_denied);
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    // Two programs writing the same file (the resident program and a settings dialog of its
    // own) must not lose each other's change between reading and renaming: the folder is locked
    // around the whole change. A folder that cannot be locked is written unlocked.
    const FolderLock lock(file.has_parent_path() ? file.parent_path() : fs::path("."));
    const auto bytes = readBytes(file, ec);
    if (!bytes)
        return ec;
    IniFile ini = parse(*bytes);
    const std::string eol = eolStyle(ini);
    const Location loc = locate(ini, section, key);
    const std::string keyValue = oneLine(key) + "=" + oneLine(value);
    if (loc.key) {
        ini.lines[*loc.key].raw = encodeLine(ini, loc.keyText + "=" + oneLine(value));
    } else if (loc.header) {
        ini.lines.insert(ini.lines.begin() + std::ptrdiff_t(loc.lastContent + 1), Line{encodeLine(ini, keyValue), eol});
        if (ini.lines[loc.lastContent].eol.empty())
            ini.lines[loc.lastContent].eol = eol;
    } else {
        if (!ini.lines.empty() && ini.lines.back().eol.empty())
            ini.lines.back().eol = eol;
        ini.lines.push_back({encodeLine(ini, "[" + oneLine(section) + "]"), eol});
        ini.lines.push_back({encodeLine(ini, keyValue), eol});
    }
    return writeAtomically(file, serialize(ini), mode);
}

} // namespace platform
