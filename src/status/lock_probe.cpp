#include "status/lock_probe.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace status {

// A line of the table reads "1: FLOCK  ADVISORY  WRITE 4711 fe:00:5318154 0 EOF" (a waiting
// request has "->" after the number); the field with two colons is major:minor:inode, the
// device numbers in hexadecimal.
bool lockListed(std::string_view lockTable, unsigned long long device, unsigned long long inode) {
    std::istringstream lines{std::string(lockTable)};
    for (std::string line; std::getline(lines, line);) {
        if (line.find("->") != std::string::npos)
            continue; // a request still waiting holds nothing
        std::istringstream fields(line);
        for (std::string field; fields >> field;) {
            unsigned major = 0, minor = 0;
            unsigned long long ino = 0;
            char tail = 0;
            if (std::sscanf(field.c_str(), "%x:%x:%llu%c", &major, &minor, &ino, &tail) != 3)
                continue;
            if (ino == inode && makedev(major, minor) == device)
                return true;
            break;
        }
    }
    return false;
}

bool lockHeld(const std::filesystem::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return false;
    std::ifstream in("/proc/locks");
    std::ostringstream table;
    table << in.rdbuf();
    return lockListed(table.str(), st.st_dev, st.st_ino);
}

} // namespace status
