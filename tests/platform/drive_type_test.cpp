#include "platform/drive_type.h"

#include <gtest/gtest.h>

using platform::classifyMount;
using platform::DriveType;
using platform::parseMountInfoLine;

TEST(DriveType, ClassifiesMountLines) {
    struct Case {
        const char* line;
        bool removable;
        DriveType expected;
    };
    const Case cases[] = {
        {"29 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw", false, DriveType::Fixed},
        {"30 29 0:27 / /tmp rw - tmpfs tmpfs rw", false, DriveType::RamDisk},
        {"31 29 0:50 / /mnt/nas rw - nfs4 nas:/export rw", false, DriveType::Remote},
        {"32 29 0:51 / /mnt/share rw - cifs //srv/share rw", false, DriveType::Remote},
        {"33 29 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro", false, DriveType::CdRom},
        {"34 29 0:52 / /home/u/remote rw - fuse.sshfs u@host: rw", false, DriveType::Remote},
        {"35 29 8:17 / /mnt/usb rw - vfat /dev/sdb1 rw", true, DriveType::Removable},
        {"36 29 8:33 / /run/media/u/STICK rw - exfat /dev/sdc1 rw", false, DriveType::Removable},
        {"37 29 0:53 / /var/lib/x rw - overlay overlay rw", false, DriveType::Fixed},
        {"38 29 0:5 / /proc rw - proc proc rw", false, DriveType::Unknown},
    };
    for (const auto& c : cases) {
        const auto m = parseMountInfoLine(c.line);
        ASSERT_TRUE(m) << c.line;
        EXPECT_EQ(classifyMount(*m, c.removable), c.expected) << c.line;
    }
}

TEST(DriveType, ParsesEscapedMountPointsAndRejectsBrokenLines) {
    const auto m = parseMountInfoLine("40 29 8:2 / /mnt/my\\040disk rw master:1 shared:2 - btrfs /dev/sda2 rw");
    ASSERT_TRUE(m);
    EXPECT_EQ(m->mountPoint, "/mnt/my disk");
    EXPECT_EQ(m->fsType, "btrfs");
    EXPECT_EQ(m->majorMinor, "8:2");
    EXPECT_FALSE(parseMountInfoLine("40 29 8:2 / /mnt rw"));
    EXPECT_FALSE(parseMountInfoLine(""));
}

TEST(DriveType, LooksUpPaths) {
    EXPECT_EQ(platform::driveTypeOf(""), DriveType::NoRoot);
    EXPECT_EQ(platform::driveTypeOf("relative/folder"), DriveType::NoRoot);
    EXPECT_EQ(platform::driveTypeOf("C:\\Backup"), DriveType::NoRoot);
    EXPECT_EQ(platform::driveTypeOf("/proc/self"), DriveType::Unknown);
    EXPECT_EQ(platform::driveTypeOf("/dev/shm/not-there/deeper"), DriveType::RamDisk);
}
