#include "platform/profile.h"

#include "platform/ascii.h"
#include "platform/codepage.h"
#include "platform/write_all.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
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

FileVersion versionOf(const struct stat& st) {
    const auto ns = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {true,          std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), std::int64_t(st.st_size), ns(st.st_mtim),
            ns(st.st_ctim)};
}

// An open file for reading; fd -1 with no error when the file is missing.
struct OpenFile {
    int fd = -1;
    FileVersion version;
    OpenFile() = default;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
};

bool openForRead(const fs::path& file, OpenFile& f, std::error_code& ec) {
    f.fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (f.fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;
        ec = lastError();
        return false;
    }
    struct stat st {};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ec = S_ISDIR(st.st_mode) ? std::make_error_code(std::errc::is_a_directory) : lastError();
        return false;
    }
    f.version = versionOf(st);
    return true;
}

std::optional<std::string> readAll(int fd, const FileVersion& version, std::error_code& ec) {
    std::string bytes;
    bytes.reserve(std::size_t(version.size) + 1); // one buffer, however large the file
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ec = lastError();
            return std::nullopt;
        }
        if (n == 0)
            return bytes;
        bytes.append(buf, std::size_t(n));
    }
}

// Reads the whole file; a missing file gives an empty, valid result.
std::optional<std::string> readBytes(const fs::path& file, std::error_code& ec) {
    OpenFile f;
    if (!openForRead(file, f, ec))
        return std::nullopt;
    if (f.fd < 0)
        return std::string();
    return readAll(f.fd, f.version, ec);
}

// Calls f(line, lineEnd) for each line of the bytes after any byte-order mark.
template <typename F> void forEachLine(std::string_view bytes, F f) {
    // The next CR and LF are looked for apart, each with one scan of the bytes in all: a line of
    // megabytes is found at memchr's pace.
    std::size_t pos = 0, nextCr = bytes.find('\r'), nextLf = bytes.find('\n');
    while (pos < bytes.size()) {
        if (nextCr < pos)
            nextCr = bytes.find('\r', pos);
        if (nextLf < pos)
            nextLf = bytes.find('\n', pos);
        const auto end = std::min(nextCr, nextLf);
        if (end == std::string_view::npos) {
            f(bytes.substr(pos), std::string_view());
            break;
        }
        const std::size_t eolLength = (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n') ? 2 : 1;
        f(bytes.substr(pos, end - pos), bytes.substr(end, eolLength));
        pos = end + eolLength;
    }
}

bool startsWithBom(std::string_view& bytes) {
    if (bytes.substr(0, kUtf8Bom.size()) != kUtf8Bom)
        return false;
    bytes.remove_prefix(kUtf8Bom.size());
    return true;
}

IniFile parse(std::string_view bytes) {
    IniFile ini;
    ini.utf8 = startsWithBom(bytes);
    forEachLine(bytes, [&](std::string_view line, std::string_view eol) {
        ini.lines.push_back({std::string(line), std::string(eol)});
    });
    return ini;
}

std::string decodeLine(bool utf8, std::string_view raw) {
    if (!utf8)
        return fromCp932(raw);
    return isValidUtf8(raw) ? std::string(raw) : fromCp932(toCp932(raw));
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

// What one line means to a lookup: a section header, a key with its value, or nothing. Only
// what a lookup compares is decoded: a value may be megabytes long, and decoding it costs more
// than everything else. In code page 932 the bytes of blanks, "=" and quotes never occur inside a
// double-byte character, so a line whose first non-blank byte is not "[" is split on its raw bytes.
struct LineMeaning {
    std::optional<std::string> section; // the name of a "[name]" line
    std::optional<std::string> key;     // the key of a "key=value" line
    std::string value;                  // its value, trimmed, decoded
    bool isRaw = false;                 // the value is rawValue instead: code page 932 bytes
    std::string_view rawValue;          // trimmed, into the bytes the line came from
};

LineMeaning fromText(std::string_view text) {
    LineMeaning m;
    if (const auto name = sectionName(text)) {
        m.section = std::string(*name);
    } else if (const auto eq = text.find('='); eq != std::string_view::npos) {
        m.key = std::string(trimBlanks(text.substr(0, eq)));
        m.value = std::string(trimBlanks(text.substr(eq + 1)));
    }
    return m;
}

LineMeaning meaningOf(bool utf8, std::string_view raw) {
    const std::string_view trimmed = trimBlanks(raw);
    if (utf8 || (!trimmed.empty() && trimmed.front() == '['))
        return fromText(decodeLine(utf8, raw));
    LineMeaning m;
    if (const auto eq = trimmed.find('='); eq != std::string_view::npos) {
        m.key = std::string(trimBlanks(fromCp932(trimmed.substr(0, eq))));
        m.rawValue = trimBlanks(trimmed.substr(eq + 1));
        m.isRaw = true;
    }
    return m;
}

// Where a section and one of its keys stand in the file.
struct Location {
    std::optional<std::size_t> header; // the first section of that name
    std::optional<std::size_t> key;    // the first key of that name in it
    std::size_t lastContent = 0;       // last non-blank line of the section
    std::string keyText;               // the key as spelled in the file
};

Location locate(const IniFile& ini, std::string_view section, std::string_view key) {
    Location loc;
    for (std::size_t i = 0; i < ini.lines.size(); ++i) {
        const LineMeaning m = meaningOf(ini.utf8, ini.lines[i].raw);
        if (m.section) {
            if (loc.header)
                break;
            if (equalsNoCase(*m.section, section)) {
                loc.header = i;
                loc.lastContent = i;
            }
            continue;
        }
        if (!loc.header)
            continue;
        if (!trimBlanks(ini.lines[i].raw).empty())
            loc.lastContent = i;
        if (!loc.key && m.key && equalsNoCase(*m.key, key)) {
            loc.key = i;
            loc.keyText = *m.key;
        }
    }
    return loc;
}

// A value in matching single or double quotes is read without them, as Windows reads it.
std::string_view unquotedView(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string unquoted(const std::string& value) {
    return std::string(unquotedView(value));
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

// At most bufferSize - 1 code page 932 bytes of `value`.
std::string cutToBuffer(std::string value, std::size_t bufferSize) {
    // Code page 932 never takes more bytes than UTF-8 for the same text: a value shorter than the
    // buffer in UTF-8 fits without being encoded.
    if (value.size() < bufferSize)
        return value;
    const std::string encoded = toCp932(value);
    if (encoded.size() < bufferSize)
        return value;
    return fromCp932(cutCp932(encoded, bufferSize - 1));
}

std::string valueAsRead(const LineMeaning& m, std::size_t bufferSize) {
    if (!m.isRaw)
        return cutToBuffer(unquoted(m.value), bufferSize);
    const std::string_view bytes = unquotedView(m.rawValue); // a quote byte is never part of a character
    if (bytes.size() < bufferSize)
        return fromCp932(bytes);
    // Decoding keeps the length of every character in code page 932 bytes (a damaged byte becomes
    // "?"), so the bytes past the cut need no decoding.
    return cutToBuffer(fromCp932(bytes.substr(0, bufferSize + 1)), bufferSize);
}

std::string eolStyle(const IniFile& ini) {
    for (const auto& line : ini.lines)
        if (!line.eol.empty())
            return line.eol;
    return "\r\n";
}

std::string serialize(const IniFile& ini) {
    std::size_t size = kUtf8Bom.size();
    for (const auto& line : ini.lines)
        size += line.raw.size() + line.eol.size();
    std::string out;
    out.reserve(size);
    if (ini.utf8)
        out = kUtf8Bom;
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

std::string oneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        c = asciiUpper(c);
    return out;
}

// The keys of a file as a read finds them: the first section of a name and the first key of a
// name in it; keys of later sections of the same name and lines before any section are unseen.
struct IniIndex {
    FileVersion version;
    // Read in the same tick of the file system's coarse clock as the file was last changed: a
    // change right after the read, keeping the size, could leave the version as it was.
    bool racy = false;
    std::string bytes;
    std::unordered_map<std::string, std::unordered_map<std::string, LineMeaning>> sections;
};

// Indexes the file's bytes, which the index keeps: raw values point into them.
std::shared_ptr<IniIndex> indexOf(std::string bytes, const FileVersion& version) {
    auto index = std::make_shared<IniIndex>();
    index->version = version;
    index->bytes = std::move(bytes);
    std::string_view view = index->bytes;
    const bool utf8 = startsWithBom(view);
    std::unordered_map<std::string, LineMeaning>* current = nullptr;
    forEachLine(view, [&](std::string_view line, std::string_view) {
        LineMeaning m = meaningOf(utf8, line);
        if (m.section) {
            const auto [it, added] = index->sections.try_emplace(folded(*m.section));
            current = added ? &it->second : nullptr;
        } else if (current && m.key) {
            current->try_emplace(folded(*m.key), std::move(m));
        }
    });
    return index;
}

// The clock file times are taken from.
std::int64_t coarseNowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Each version of a file is read and indexed once and kept until the file changes: a tick reads a
// few dozen keys, and a file of megabytes must not be read and decoded for each of them.
class IndexCache {
public:
    static IndexCache& instance() {
        static IndexCache cache;
        return cache;
    }

    // nullptr with `ec` set when the file exists but cannot be read; an empty index when missing.
    std::shared_ptr<const IniIndex> get(const fs::path& file, std::error_code& ec) {
        OpenFile f;
        if (!openForRead(file, f, ec))
            return nullptr;
        if (f.fd < 0)
            return std::make_shared<const IniIndex>();
        const std::string name = file.string();
        {
            const std::lock_guard lock(mutex_);
            if (const auto it = entries_.find(name);
                it != entries_.end() && it->second->version == f.version && !it->second->racy)
                return it->second;
        }
        const std::int64_t readAt = coarseNowNs();
        auto bytes = readAll(f.fd, f.version, ec);
        if (!bytes)
            return nullptr;
        auto index = indexOf(std::move(*bytes), f.version);
        index->racy = f.version.modifiedNs >= readAt || f.version.changedNs >= readAt;
        const std::lock_guard lock(mutex_);
        if (entries_.size() >= kMaxFiles)
            entries_.clear();
        entries_[name] = index;
        return index;
    }

private:
    static constexpr std::size_t kMaxFiles = 16;
    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<const IniIndex>> entries_;
};

} // namespace

std::string profileRead(const fs::path& file, std::string_view section, std::string_view key, std::string_view def,
                        std::size_t bufferSize, std::error_code* readError) {
    std::error_code ec;
    const auto index = IndexCache::instance().get(file, ec);
    if (readError)
        *readError = ec;
    if (bufferSize == 0)
        return {};
    if (index) {
        if (const auto sec = index->sections.find(folded(section)); sec != index->sections.end())
            if (const auto it = sec->second.find(folded(key)); it != sec->second.end())
                return valueAsRead(it->second, bufferSize);
    }
    return cutToBuffer(std::string(def), bufferSize);
}

FileVersion fileVersion(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return versionOf(st);
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
    return replaceFileAtomically(file, serialize(ini), mode);
}

} // namespace platform
