#include "catalog.h"

#include "reply.h"
#include "utf.h"

#include <algorithm>
#include <array>
#include <sqlite3.h>
#include <stdexcept>
#include <system_error>

namespace standin {
namespace {

constexpr const char* kExtension = ".sqlite";
constexpr std::array<const char*, 4> kSystemDatabases = {"master", "model", "msdb", "tempdb"};
constexpr std::size_t kMaxNameUnits = 128;

// The database's collation lives in the header's application id, where it travels with every
// copy of the file and stays out of the way of the tables.
void createFile(const std::filesystem::path& file, const Collation& collation) {
    sqlite3* db = nullptr;
    // Setting the user version writes the header page, so the new file is a complete database.
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK) {
        const std::string sql =
            "PRAGMA user_version = 1; PRAGMA application_id = " + std::to_string(std::int32_t(collation.code()));
        rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        throw std::runtime_error("cannot create database file " + file.string());
    }
}

bool usableName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.front() == ' ' || name.back() == ' ' ||
        utf16Units(name) > kMaxNameUnits) {
        return false;
    }
    return std::none_of(name.begin(), name.end(),
                        [](char c) { return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20; });
}

} // namespace

Catalog::Catalog(std::filesystem::path dataDir, Collation serverCollation)
    : dataDir_(std::move(dataDir)), serverCollation_(serverCollation) {
    std::filesystem::create_directories(dataDir_);
    for (const char* name : kSystemDatabases) {
        if (!find(name)) {
            createFile(fileOf(name), serverCollation_);
        }
    }
}

Collation Catalog::collationOf(const std::string& canonicalName) const {
    sqlite3* db = nullptr;
    std::int64_t code = 0;
    if (sqlite3_open_v2(fileOf(canonicalName).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA application_id", -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            code = sqlite3_column_int64(stmt, 0);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return Collation::fromCode(static_cast<std::uint32_t>(code)).value_or(serverCollation_);
}

std::vector<std::string> Catalog::names() const {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dataDir_, ec)) {
        const std::string file = entry.path().filename().string();
        if (entry.is_regular_file(ec) && file.size() > std::char_traits<char>::length(kExtension) &&
            file.ends_with(kExtension)) {
            out.push_back(file.substr(0, file.size() - std::char_traits<char>::length(kExtension)));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::pair<std::string, int>> Catalog::namesWithIds() const {
    static constexpr std::array<const char*, 4> kFixedIds = {"master", "tempdb", "model", "msdb"};
    std::vector<std::pair<std::string, int>> out;
    int nextUserId = 5;
    for (std::string& name : names()) {
        int id = 0;
        for (std::size_t i = 0; i < kFixedIds.size(); ++i) {
            id = iequals(name, kFixedIds[i]) ? static_cast<int>(i) + 1 : id;
        }
        out.emplace_back(std::move(name), id == 0 ? nextUserId++ : id);
    }
    return out;
}

std::optional<std::string> Catalog::find(const std::string& name) const {
    for (const std::string& existing : names()) {
        if (iequals(existing, name)) {
            return existing;
        }
    }
    return std::nullopt;
}

std::filesystem::path Catalog::fileOf(const std::string& canonicalName) const {
    return dataDir_ / (canonicalName + kExtension);
}

void Catalog::create(const std::string& name, const std::optional<Collation>& collation) {
    std::lock_guard lock(mutex_);
    if (!usableName(name)) {
        throw SqlError(5105, "The database name '" + name + "' cannot be used by this server.");
    }
    if (find(name)) {
        throw SqlError(1801, "Database '" + name + "' already exists. Choose a different database name.");
    }
    try {
        createFile(fileOf(name), collation.value_or(serverCollation_));
    } catch (const std::runtime_error& e) {
        throw SqlError(5123, e.what());
    }
}

void Catalog::drop(const std::string& name) {
    std::lock_guard lock(mutex_);
    const auto canonical = find(name);
    if (!canonical) {
        throw SqlError(3701, "Cannot drop the database '" + name +
                                 "', because it does not exist or you do not have permission.");
    }
    if (isSystem(*canonical)) {
        throw SqlError(3708, "Cannot drop the database '" + *canonical + "' because it is a system database.");
    }
    std::error_code ec;
    std::filesystem::remove(fileOf(*canonical), ec);
    if (ec) {
        throw SqlError(5120, "Cannot remove the file of database '" + *canonical + "': " + ec.message());
    }
}

bool Catalog::isSystem(const std::string& name) {
    return std::any_of(kSystemDatabases.begin(), kSystemDatabases.end(),
                       [&](const char* system) { return iequals(system, name); });
}

} // namespace standin
