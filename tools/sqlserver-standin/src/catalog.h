#pragma once

#include "collation.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

// The server's databases: one SQLite file DIR/<name>.sqlite each. Names compare without regard to
// ASCII case, as under a case-insensitive collation; the file's spelling is the canonical name.
class Catalog {
public:
    // Creates the folder and the system databases when missing, under the server's collation;
    // throws std::runtime_error on failure.
    explicit Catalog(std::filesystem::path dataDir, Collation serverCollation = defaultCollation());

    std::optional<std::string> find(const std::string& name) const;
    std::vector<std::string> names() const;
    // Each database with the database_id SQL Server gives it: master 1, tempdb 2, model 3, msdb 4,
    // then the others from 5 in the order of names().
    std::vector<std::pair<std::string, int>> namesWithIds() const;
    std::filesystem::path fileOf(const std::string& canonicalName) const;

    // The collation each database keeps in its file; the server's for a file that keeps none.
    Collation collationOf(const std::string& canonicalName) const;
    const Collation& serverCollation() const { return serverCollation_; }

    // Throw SqlError: the name is taken or unusable as a file name, or (drop) a system database.
    // A database made without a collation takes the server's, as it takes model's on SQL Server.
    void create(const std::string& name, const std::optional<Collation>& collation = std::nullopt);
    void drop(const std::string& name);

    static bool isSystem(const std::string& name);

private:
    std::filesystem::path dataDir_;
    Collation serverCollation_;
    mutable std::mutex mutex_; // CREATE/DROP DATABASE against each other
};

} // namespace standin
