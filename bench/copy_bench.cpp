// Runs one copy the way the copy run makes it, so that a script can time it against cp:
//   encrt-copy-bench file SOURCE TARGET [--flush]
//   encrt-copy-bench folder SOURCE TARGET_PARENT [--flush]
// --flush makes the copy durable as the copy run does (fsync of a file, syncfs after a folder).
// Exit status 0 on success; the error is printed otherwise.

#include "platform/filesystem.h"
#include "platform/local_filesystem.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5 || (argc == 5 && std::string_view(argv[4]) != "--flush")) {
        std::fprintf(stderr, "usage: %s file|folder SOURCE TARGET [--flush]\n", argv[0]);
        return 2;
    }
    const std::string_view mode = argv[1];
    const auto durability = argc == 5 ? platform::Durability::OnMedium : platform::Durability::Cached;
    const platform::LocalFileSystem fs;
    std::error_code ec;
    std::filesystem::path failedAt;
    if (mode == "file")
        ec = fs.copyFile(argv[2], argv[3], durability);
    else if (mode == "folder")
        ec = fs.copyFolder(argv[2], argv[3], durability, &failedAt);
    else
        return 2;
    if (ec) {
        std::fprintf(stderr, "%s %s\n", ec.message().c_str(), failedAt.c_str());
        return 1;
    }
    return 0;
}
