#pragma once

#include "cancel_signal.h"
#include "catalog.h"
#include "reply.h"
#include "sqlite_session.h"
#include "tsql_lexer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct ServerSettings {
    Catalog* catalog = nullptr;
    std::vector<std::string> failingBackups;  // databases named by --fail-backup
    std::chrono::milliseconds backupDelay{0}; // --backup-delay
    bool backupProcedureInstalled = true;     // --without-backup-procedure clears it
};

// Runs SQL batches and transaction requests for one client and builds the replies, as SQL Server
// does: most run-time errors end their statement and the batch goes on; conversion errors, errors
// of names and syntax, and every error under SET XACT_ABORT ON end the batch (conversion errors
// and XACT_ABORT also roll back the open transaction). Every DONE but the last carries the "more"
// bit.
class Executor {
public:
    Executor(const ServerSettings& settings, const std::string& database, CancelSignal& cancel, bool plpAllowed,
             int spid = 0);

    enum class TransactionRequest { Begin, Commit, Rollback };

    Reply runBatch(std::string_view sql);
    // A transaction-manager request; beginAnother starts a new transaction after COMMIT/ROLLBACK.
    Reply transactionRequest(TransactionRequest request, bool beginAnother);

    const std::string& database() const { return db_.database(); }
    const Collation& collation() const { return db_.collation(); }
    void interrupt() { db_.interrupt(); }

private:
    void runStatement(const Statement& statement, bool firstInBatch, Reply& reply);
    void runSqlite(const Statement& statement, const std::vector<Token>& words, Reply& reply);
    void use(const std::vector<Token>& words, Reply& reply);
    void databaseCommand(const std::vector<Token>& words, Reply& reply);
    void procedureCall(const std::vector<Token>& words, std::size_t nameAt, Reply& reply);
    void waitfor(const std::vector<Token>& words, Reply& reply);
    void setOption(const std::vector<Token>& words, Reply& reply);
    void transactionStatement(const std::vector<Token>& words, Reply& reply);
    void begin(Reply& reply);
    void end(bool commit, Reply& reply);
    // Rolls back the open transaction, if any, and says so to the client.
    void rollBack(Reply& reply);
    // Adds the error to the reply; true when the batch goes on after it.
    bool reportError(const SqlError& error, const Statement& statement, Reply& reply);
    SessionValues sessionValues() const;
    bool inUserTransaction() const { return nesting_ > 0 || db_.inTransaction(); }

    const ServerSettings& settings_;
    SqliteSession db_;
    CancelSignal& cancel_;
    bool plpAllowed_;
    int spid_;
    bool nocount_ = false;
    bool xactAbort_ = false;
    std::int64_t rowCount_ = 0;     // @@ROWCOUNT
    int lastError_ = 0;             // @@ERROR
    std::uint64_t transaction_ = 0; // descriptor of the open transaction, 0 when none
    int nesting_ = 0;               // BEGIN TRAN depth (@@TRANCOUNT)
    std::uint64_t nextDescriptor_ = 1;
};

// What an error ends when SET XACT_ABORT is OFF: its statement, the batch, or the batch and the
// open transaction (conversion errors, the deadlock victim).
enum class ErrorScope { Statement, Batch, BatchAndTransaction };
ErrorScope errorScope(std::int32_t number);

// Ends the reply with a DONE and sets the "more" bit on every DONE before it.
void finishReply(Reply& reply);

} // namespace standin
