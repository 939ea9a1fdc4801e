#pragma once
// What kind of medium holds a path, with the numbering of the Windows drive-type query.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class DriveType : int {
    Unknown = 0,
    NoRoot = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// One line of /proc/self/mountinfo, the fields the classification needs.
struct MountEntry {
    std::string mountPoint; // unescaped
    std::string fsType;     // "ext4", "fuse.sshfs", ...
    std::string source;     // "/dev/sda1", "server:/export", ...
    std::string majorMinor; // "8:1"
};

std::optional<MountEntry> parseMountInfoLine(std::string_view line);

// The class of a mount. `removableDevice` tells whether the block device behind it reports itself
// removable; a mount point below /media or /run/media also counts as removable.
DriveType classifyMount(const MountEntry& mount, bool removableDevice);

// The class of the file system holding `path`: NoRoot when the path is empty, relative, or no part
// of it exists.
DriveType driveTypeOf(std::string_view path);

} // namespace platform
