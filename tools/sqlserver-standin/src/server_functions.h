#pragma once

struct sqlite3;

namespace standin {

class Catalog;

// Registers the functions that answer about the server and its databases: SERVERPROPERTY(name)
// (Collation, ProductVersion, ProductMajorVersion, Edition, InstanceDefaultDataPath and
// InstanceDefaultLogPath) and DATABASEPROPERTYEX(database, name) (Collation, Status, Recovery,
// Updateability, UserAccess), each NULL for a property or a database it does not know, as on
// SQL Server. `catalog` must outlive the connection.
void registerServerFunctions(sqlite3* db, const Catalog* catalog);

} // namespace standin
