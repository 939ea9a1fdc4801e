#include "backup_file.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

namespace standin {
namespace {

constexpr std::string_view kMagic = "SQLSERVER-STANDIN-BACKUP 1\n";
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

const char* kindText(BackupKind kind) {
    switch (kind) {
    case BackupKind::Full:
        return "FULL";
    case BackupKind::Differential:
        return "DIFF";
    case BackupKind::Log:
        return "LOG";
    }
    return "FULL";
}

std::optional<BackupKind> kindFromText(const std::string& text) {
    for (BackupKind kind : {BackupKind::Full, BackupKind::Differential, BackupKind::Log}) {
        if (text == kindText(kind)) {
            return kind;
        }
    }
    return std::nullopt;
}

// Values are kept on one line: "%", tab, CR and LF are written as %XX.
std::string escape(const std::string& value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if (c == '%' || c == '\t' || c == '\r' || c == '\n') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        unsigned code = 0;
        if (i + 2 >= value.size()) {
            return std::nullopt;
        }
        const auto [end, ec] = std::from_chars(value.data() + i + 1, value.data() + i + 3, code, 16);
        if (ec != std::errc() || end != value.data() + i + 3) {
            return std::nullopt;
        }
        out += static_cast<char>(code);
        i += 2;
    }
    return out;
}

template <typename Number> std::optional<Number> number(std::string_view text, int base = 10) {
    Number value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string hex32(std::uint32_t value) {
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08X", value);
    return buffer;
}

std::vector<std::string_view> splitTabs(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t tab = text.find('\t'); tab != std::string_view::npos; tab = text.find('\t', start)) {
        parts.push_back(text.substr(start, tab - start));
        start = tab + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::optional<BackupFileEntry> parseFileEntry(std::string_view value) {
    const auto parts = splitTabs(value);
    if (parts.size() != 4 || (parts[0] != "D" && parts[0] != "L")) {
        return std::nullopt;
    }
    const auto size = number<std::uint64_t>(parts[1]);
    auto logical = unescape(parts[2]);
    auto physical = unescape(parts[3]);
    if (!size || !logical || !physical || logical->empty()) {
        return std::nullopt;
    }
    return BackupFileEntry{std::move(*logical), std::move(*physical), parts[0][0], *size};
}

// Fills the header from its "Key: value" lines; false when a line or a value is malformed or a
// required key is missing.
bool parseFields(const std::string& text, BackupHeader& header) {
    std::map<std::string, std::string, std::less<>> fields;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(": ");
        if (colon == std::string::npos) {
            return false;
        }
        const std::string key = line.substr(0, colon);
        const std::string value = line.substr(colon + 2);
        if (key == "File") {
            auto entry = parseFileEntry(value);
            if (!entry) {
                return false;
            }
            header.files.push_back(std::move(*entry));
        } else if (!fields.emplace(key, value).second) {
            return false;
        }
    }
    const auto text_ = [&](const char* key) -> std::optional<std::string> {
        const auto it = fields.find(key);
        return it == fields.end() ? std::nullopt : unescape(it->second);
    };
    const auto lsn = [&](const char* key) -> std::optional<std::uint64_t> {
        const auto it = fields.find(key);
        return it == fields.end() ? std::nullopt : number<std::uint64_t>(it->second);
    };
    const auto database = text_("Database"), kind = text_("Kind"), family = text_("FamilyGUID"),
               recovery = text_("RecoveryModel"), collation = text_("Collation"), name = text_("BackupName");
    const auto started = lsn("BackupStart"), finished = lsn("BackupFinish"), first = lsn("FirstLSN"),
               last = lsn("LastLSN"), checkpoint = lsn("CheckpointLSN"), databaseBackup = lsn("DatabaseBackupLSN"),
               differentialBase = lsn("DifferentialBaseLSN"), size = lsn("ContentSize");
    const auto checksumField = fields.find("ContentChecksum");
    const auto checksum =
        checksumField == fields.end() ? std::nullopt : number<std::uint32_t>(checksumField->second, 16);
    if (!database || !kind || !kindFromText(*kind) || !family || !recovery || !collation || !name || !started ||
        !finished || !first || !last || !checkpoint || !databaseBackup || !differentialBase || !size || !checksum ||
        header.files.empty()) {
        return false;
    }
    header.database = *database;
    header.kind = *kindFromText(*kind);
    header.started = static_cast<std::time_t>(*started);
    header.finished = static_cast<std::time_t>(*finished);
    header.firstLsn = *first;
    header.lastLsn = *last;
    header.checkpointLsn = *checkpoint;
    header.databaseBackupLsn = *databaseBackup;
    header.differentialBaseLsn = *differentialBase;
    header.familyGuid = *family;
    header.recoveryModel = *recovery;
    header.collation = *collation;
    header.backupName = *name;
    header.contentSize = *size;
    header.contentChecksum = *checksum;
    return true;
}

} // namespace

int backupTypeCode(BackupKind kind) {
    switch (kind) {
    case BackupKind::Full:
        return 1;
    case BackupKind::Differential:
        return 5;
    case BackupKind::Log:
        return 2;
    }
    return 1;
}

const char* backupTypeDescription(BackupKind kind) {
    switch (kind) {
    case BackupKind::Full:
        return "Database";
    case BackupKind::Differential:
        return "Database Differential";
    case BackupKind::Log:
        return "Transaction Log";
    }
    return "Database";
}

std::uint32_t crc32(const std::string& bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFu;
}

std::string encodeBackupFile(BackupHeader header, const std::string& content) {
    header.contentSize = content.size();
    header.contentChecksum = crc32(content);
    std::string text(kMagic);
    const auto field = [&](const char* key, const std::string& value) {
        text += std::string(key) + ": " + value + "\n";
    };
    field("Database", escape(header.database));
    field("Kind", kindText(header.kind));
    field("BackupStart", std::to_string(header.started));
    field("BackupFinish", std::to_string(header.finished));
    field("FirstLSN", std::to_string(header.firstLsn));
    field("LastLSN", std::to_string(header.lastLsn));
    field("CheckpointLSN", std::to_string(header.checkpointLsn));
    field("DatabaseBackupLSN", std::to_string(header.databaseBackupLsn));
    field("DifferentialBaseLSN", std::to_string(header.differentialBaseLsn));
    field("FamilyGUID", escape(header.familyGuid));
    field("RecoveryModel", escape(header.recoveryModel));
    field("Collation", escape(header.collation));
    field("BackupName", escape(header.backupName));
    for (const BackupFileEntry& file : header.files) {
        field("File", std::string(1, file.type) + "\t" + std::to_string(file.size) + "\t" + escape(file.logicalName) +
                          "\t" + escape(file.physicalName));
    }
    field("ContentSize", std::to_string(header.contentSize));
    field("ContentChecksum", hex32(header.contentChecksum));
    text += "HeaderChecksum: " + hex32(crc32(text)) + "\n\n";
    return text + content;
}

BackupRead readBackupFile(const std::filesystem::path& file, bool withContent) {
    BackupRead out;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        out.error = BackupReadError::CannotOpen;
        out.osError = std::strerror(errno != 0 ? errno : ENOENT);
        return out;
    }
    std::string head(kMaxHeaderBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    const auto end = head.find("\n\n");
    const auto checksumAt = head.rfind("HeaderChecksum: ", end);
    out.error = BackupReadError::Malformed;
    if (!head.starts_with(kMagic) || end == std::string::npos || checksumAt == std::string::npos) {
        return out;
    }
    const auto stored =
        number<std::uint32_t>(std::string_view(head).substr(checksumAt + 16, end - checksumAt - 16), 16);
    if (!stored || *stored != crc32(head.substr(0, checksumAt)) ||
        !parseFields(head.substr(kMagic.size(), checksumAt - kMagic.size()), out.header)) {
        return out;
    }
    const std::uint64_t contentStart = end + 2;
    in.clear();
    in.seekg(0, std::ios::end);
    const auto total = static_cast<std::uint64_t>(in.tellg());
    if (total != contentStart + out.header.contentSize) {
        return out; // cut short or grown: the file is not what its header describes
    }
    out.error = BackupReadError::None;
    if (withContent) {
        out.content.resize(out.header.contentSize);
        in.seekg(static_cast<std::streamoff>(contentStart));
        in.read(out.content.data(), static_cast<std::streamsize>(out.content.size()));
        if (static_cast<std::uint64_t>(in.gcount()) != out.header.contentSize) {
            out.error = BackupReadError::Malformed;
        } else if (crc32(out.content) != out.header.contentChecksum) {
            out.error = BackupReadError::ContentDamaged;
        }
    }
    return out;
}

} // namespace standin
