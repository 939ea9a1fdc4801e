#include "server_functions.h"

#include "catalog.h"
#include "database_state.h"
#include "utf.h"

#include <optional>
#include <sqlite3.h>
#include <string>

namespace standin {
namespace {

// The version the server reports in PRELOGIN and LOGINACK: SQL Server 2022.
constexpr const char* kProductVersion = "16.0.4000.0";

const Catalog& catalogOf(sqlite3_context* context) {
    return *static_cast<const Catalog*>(sqlite3_user_data(context));
}

std::optional<std::string> textArgument(sqlite3_value* value) {
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                       static_cast<std::size_t>(sqlite3_value_bytes(value)));
}

void resultText(sqlite3_context* context, const std::optional<std::string>& text) {
    if (!text) {
        sqlite3_result_null(context);
        return;
    }
    sqlite3_result_text(context, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
}

std::optional<std::string> serverProperty(const Catalog& catalog, const std::string& name) {
    if (iequals(name, "Collation")) {
        return catalog.serverCollation().name();
    }
    if (iequals(name, "ProductVersion")) {
        return kProductVersion;
    }
    if (iequals(name, "ProductMajorVersion")) {
        return "16";
    }
    if (iequals(name, "Edition")) {
        return "Developer Edition (64-bit)";
    }
    // Where a database made or restored without file names puts its files: the data folder.
    if (iequals(name, "InstanceDefaultDataPath") || iequals(name, "InstanceDefaultLogPath")) {
        return catalog.fileOf("master").parent_path().string() + "/";
    }
    return std::nullopt;
}

std::optional<std::string> databaseProperty(const Catalog& catalog, const std::string& database,
                                            const std::string& name) {
    const auto canonical = catalog.find(database);
    if (!canonical) {
        return std::nullopt;
    }
    if (iequals(name, "Collation")) {
        return catalog.collationOf(*canonical).name();
    }
    if (iequals(name, "Status")) {
        return loadDatabaseState(catalog, *canonical).restoring ? "RESTORING" : "ONLINE";
    }
    if (iequals(name, "Recovery")) {
        return loadDatabaseState(catalog, *canonical).recoveryModel;
    }
    if (iequals(name, "Updateability")) {
        return "READ_WRITE";
    }
    if (iequals(name, "UserAccess")) {
        return "MULTI_USER";
    }
    return std::nullopt;
}

void serverPropertyFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto name = textArgument(argv[0]);
    resultText(context, name ? serverProperty(catalogOf(context), *name) : std::nullopt);
}

void databasePropertyFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    const auto database = textArgument(argv[0]);
    const auto name = textArgument(argv[1]);
    resultText(context, database && name ? databaseProperty(catalogOf(context), *database, *name) : std::nullopt);
}

} // namespace

void registerServerFunctions(sqlite3* db, const Catalog* catalog) {
    auto* data = const_cast<Catalog*>(catalog);
    sqlite3_create_function(db, "serverproperty", 1, SQLITE_UTF8, data, serverPropertyFunction, nullptr, nullptr);
    sqlite3_create_function(db, "databasepropertyex", 2, SQLITE_UTF8, data, databasePropertyFunction, nullptr, nullptr);
}

} // namespace standin
