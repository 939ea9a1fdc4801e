#pragma once
// Whether some process holds a lock on a file, told from the kernel's lock table without taking
// a lock of our own: even a brief trial lock could make a resident copy starting at that moment
// take itself for a second copy and end.

#include <filesystem>
#include <string_view>

namespace status {

// True when /proc/locks lists a lock (flock or fcntl) on `file`; false when the file is missing.
bool lockHeld(const std::filesystem::path& file);

// The same test against a given text of the lock table, for tests.
bool lockListed(std::string_view lockTable, unsigned long long device, unsigned long long inode);

} // namespace status
