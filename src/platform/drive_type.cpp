#include "platform/drive_type.h"

#include <array>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <vector>

namespace platform {
namespace fs = std::filesystem;

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string unescapeOctal(std::string_view s) {
    const auto isOct = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && isOct(s[i + 1]) && isOct(s[i + 2]) && isOct(s[i + 3])) {
            out.push_back(char((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.push_back(s[i]);
    }
    return out;
}

std::vector<std::string_view> splitBlanks(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        const auto start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos)
            break;
        const auto end = line.find(' ', start);
        fields.push_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        pos = end == std::string_view::npos ? line.size() : end;
    }
    return fields;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool isBelow(std::string_view path, std::string_view folder) {
    return path == folder || (startsWith(path, folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

bool isNetworkFs(std::string_view type) {
    static constexpr std::array<std::string_view, 13> kNetwork = {"nfs",    "nfs4",  "cifs",    "smb3",  "smbfs",
                                                                  "ceph",   "9p",    "afs",     "ncpfs", "glusterfs",
                                                                  "lustre", "davfs", "virtiofs"};
    for (auto t : kNetwork)
        if (type == t)
            return true;
    // FUSE file systems that reach other machines.
    static constexpr std::array<std::string_view, 8> kFuseNetwork = {
        "fuse.sshfs", "fuse.rclone",    "fuse.s3fs",   "fuse.gvfsd-fuse",
        "fuse.davfs", "fuse.glusterfs", "fuse.cephfs", "fuse.smbnetfs"};
    for (auto t : kFuseNetwork)
        if (type == t)
            return true;
    return false;
}

bool isLocalBlockFs(std::string_view type) {
    static constexpr std::array<std::string_view, 14> kLocal = {"ext2",   "ext3",     "ext4",    "xfs",  "btrfs",
                                                                "f2fs",   "zfs",      "overlay", "jfs",  "reiserfs",
                                                                "nilfs2", "bcachefs", "vfat",    "exfat"};
    for (auto t : kLocal)
        if (type == t)
            return true;
    return type == "ntfs" || type == "ntfs3" || type == "fuseblk";
}

std::vector<MountEntry> readMounts() {
    std::vector<MountEntry> mounts;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);)
        if (auto m = parseMountInfoLine(line))
            mounts.push_back(std::move(*m));
    return mounts;
}

// /sys/dev/block/MAJ:MIN points into the device's folder; a partition's "removable" lives on its
// parent disk.
bool deviceIsRemovable(const std::string& majorMinor) {
    std::error_code ec;
    fs::path dev = fs::canonical(fs::path("/sys/dev/block") / majorMinor, ec);
    if (ec)
        return false;
    for (int i = 0; i < 2 && !dev.empty(); ++i, dev = dev.parent_path()) {
        std::ifstream in(dev / "removable");
        char c = 0;
        if (in >> c)
            return c == '1';
    }
    return false;
}

} // namespace

std::optional<MountEntry> parseMountInfoLine(std::string_view line) {
    // id parent maj:min root mountpoint options [optional...] - fstype source superoptions
    const auto fields = splitBlanks(line);
    if (fields.size() < 7)
        return std::nullopt;
    std::size_t dash = 6;
    while (dash < fields.size() && fields[dash] != "-")
        ++dash;
    if (dash + 2 >= fields.size())
        return std::nullopt;
    return MountEntry{unescapeOctal(fields[4]), std::string(fields[dash + 1]), unescapeOctal(fields[dash + 2]),
                      std::string(fields[2])};
}

DriveType classifyMount(const MountEntry& m, bool removableDevice) {
    const std::string_view type = m.fsType;
    if (isNetworkFs(type))
        return DriveType::Remote;
    if (type == "iso9660" || type == "udf")
        return DriveType::CdRom;
    if (type == "tmpfs" || type == "ramfs")
        return DriveType::RamDisk;
    if (removableDevice || isBelow(m.mountPoint, "/media") || isBelow(m.mountPoint, "/run/media"))
        return DriveType::Removable;
    if (isLocalBlockFs(type))
        return DriveType::Fixed;
    if (startsWith(type, "fuse."))
        return DriveType::Remote;
    return DriveType::Unknown;
}

DriveType driveTypeOf(std::string_view pathText) {
    if (pathText.empty() || pathText.front() != '/')
        return DriveType::NoRoot;
    // The deepest existing folder on the way to the path decides.
    std::error_code ec;
    fs::path p(pathText);
    while (!fs::exists(p, ec) && p.has_relative_path())
        p = p.parent_path();
    if (!fs::exists(p, ec))
        return DriveType::NoRoot;
    const fs::path resolved = fs::canonical(p, ec);
    if (ec)
        return DriveType::NoRoot;
    const std::string target = resolved.string();
    const MountEntry* best = nullptr;
    const auto mounts = readMounts();
    for (const auto& m : mounts)
        if (isBelow(target, m.mountPoint) || m.mountPoint == "/")
            if (!best || m.mountPoint.size() >= best->mountPoint.size())
                best = &m;
    if (!best)
        return DriveType::Unknown;
    return classifyMount(*best, deviceIsRemovable(best->majorMinor));
}

} // namespace platform
