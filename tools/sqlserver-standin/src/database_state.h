#pragma once

#include "catalog.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace standin {

// What the server keeps about a database beside its SQLite file, out of reach of T-SQL: its
// identity, recovery model, log sequence numbers, the base of its backup chains and, while a
// restore sequence is open, how far it has come. Stored as DIR/<name>.state.
struct DatabaseState {
    std::string familyGuid;
    std::string recoveryModel;           // FULL, BULK_LOGGED or SIMPLE
    std::uint64_t lsn = 0;               // end of the log: grows with every change and every backup
    std::uint32_t changeCounter = 0;     // the SQLite file's change counter when lsn was last advanced
    std::uint64_t fullCheckpointLsn = 0; // CheckpointLSN of the last full backup; 0: none yet
    std::uint64_t logChainLsn = 0;       // where the next log backup begins; 0: no log chain
    bool restoring = false;
    std::uint64_t redoLsn = 0;         // restoring: the LastLSN of the last step restored
    std::uint64_t restoreBaseLsn = 0;  // restoring: CheckpointLSN of the full backup restored
    bool differentialRestored = false; // restoring: a differential step was applied
    std::string dataFile;              // the data file when restored elsewhere (WITH MOVE)
    std::string logFile;               // the log file written by a restore
};

// The state of an existing database (canonical name), made up on first use.
DatabaseState loadDatabaseState(const Catalog& catalog, const std::string& name);
void saveDatabaseState(const Catalog& catalog, const std::string& name, const DatabaseState& state);
// Removes the state and the files a restore placed elsewhere; for DROP DATABASE.
void forgetDatabaseState(const Catalog& catalog, const std::string& name);

// Moves the LSN on past every change made to the database file since the last call.
void advanceLsn(const Catalog& catalog, const std::string& name, DatabaseState& state);

std::string newFamilyGuid();

// SqlError 927 when the database is in the middle of a restore: nothing may open it.
void refuseWhileRestoring(const Catalog& catalog, const std::string& name);

} // namespace standin
