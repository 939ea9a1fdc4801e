#pragma once
// A fresh folder for one test, removed with everything in it at the end. It lies under $TMPDIR,
// which CTest points at a folder of the build tree so that tests run on a fixed disk.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace testsupport {

class TempDir {
public:
    TempDir() : TempDir(defaultBase()) {}
    // A folder under `base` instead of $TMPDIR.
    explicit TempDir(const std::string& base) {
        std::string tmpl = base + "/encrt-test-XXXXXX";
        std::filesystem::create_directories(std::filesystem::path(tmpl).parent_path());
        if (!::mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        // Read-only items made by a test must not keep the folder alive.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            ::chmod(it->path().c_str(), it->is_directory() ? 0755 : 0644);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    static std::string defaultBase() {
        const char* base = std::getenv("TMPDIR");
        return base && *base ? base : "/tmp";
    }

private:
    std::filesystem::path path_;
};

inline void writeFile(const std::filesystem::path& p, std::string_view bytes) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testsupport
