#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// The server's databases: one SQLite file DIR/<name>.sqlite each. Names compare without regard to
// ASCII case, as under a case-insensitive collation; the file's spelling is the canonical name.
class Catalog {
public:
    // Creates the folder and the system databases when missing; throws std::runtime_error on failure.
    explicit Catalog(std::filesystem::path dataDir);

    std::optional<std::string> find(const std::string& name) const;
    std::vector<std::string> names() const;
    std::filesystem::path fileOf(const std::string& canonicalName) const;

    // Throw SqlError: the name is taken or unusable as a file name, or (drop) a system database.
    void create(const std::string& name);
    void drop(const std::string& name);

    static bool isSystem(const std::string& name);

private:
    std::filesystem::path dataDir_;
    mutable std::mutex mutex_; // CREATE/DROP DATABASE against each other
};

} // namespace standin
