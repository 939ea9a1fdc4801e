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
    std::vector<std::string> failing_backups;  // databases named by --fail-backup
    std::chrono::milliseconds backup_delay{0}; // --backup-delay
};

// Runs SQL batches and transaction requests for one client and builds the replies. A batch stops at
// its first error; every DONE but the last carries the "more" bit.
class Executor {
public:
    Executor(const ServerSettings& settings, const std::string& database, CancelSignal& cancel, bool plp_allowed);

    enum class TransactionRequest { Begin, Commit, Rollback };

    Reply run_batch(std::string_view sql);
    // A transaction-manager request; begin_another starts a new transaction after COMMIT/ROLLBACK.
    Reply transaction_request(TransactionRequest request, bool begin_another);

    const std::string& database() const { return db_.database(); }
    void interrupt() { db_.interrupt(); }

private:
    void run_statement(const Statement& statement, bool first_in_batch, Reply& reply);
    void run_sqlite(const Statement& statement, const std::vector<Token>& words, Reply& reply);
    void use(const std::vector<Token>& words, Reply& reply);
    void database_command(const std::vector<Token>& words, Reply& reply);
    void procedure_call(const std::vector<Token>& words, std::size_t name_at, Reply& reply);
    void waitfor(const std::vector<Token>& words, Reply& reply);
    void set_option(const std::vector<Token>& words, Reply& reply);
    void transaction_statement(const std::vector<Token>& words, Reply& reply);
    void begin(Reply& reply);
    void end(bool commit, Reply& reply);

    const ServerSettings& settings_;
    SqliteSession db_;
    CancelSignal& cancel_;
    bool plp_allowed_;
    bool nocount_ = false;
    std::uint64_t transaction_ = 0; // descriptor of the open transaction, 0 when none
    int nesting_ = 0;               // BEGIN TRAN depth (@@TRANCOUNT)
    std::uint64_t next_descriptor_ = 1;
};

// Ends the reply with a DONE and sets the "more" bit on every DONE before it.
void finish_reply(Reply& reply);

} // namespace standin
