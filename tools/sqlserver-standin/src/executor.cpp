#include "executor.h"

#include "backup_procedure.h"
#include "datetime.h"
#include "disk_commands.h"
#include "tsql_translate.h"
#include "utf.h"

#include <array>
#include <optional>

namespace standin {
namespace {

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}
bool isSymbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}
bool isLiteral(const Token& t) {
    return t.kind == TokenKind::String || t.kind == TokenKind::NString || t.kind == TokenKind::Number;
}

[[noreturn]] void syntaxError(const std::string& near) {
    throw SqlError(102, "Incorrect syntax near '" + near + "'.");
}

// Reads a name of dotted parts ("master..SSP_BackUPDB") starting at `at`; empty parts stay empty.
std::vector<std::string> readDottedName(const std::vector<Token>& words, std::size_t& at) {
    std::vector<std::string> parts{nameValue(words.at(at++))};
    while (at < words.size() && isSymbol(words[at], '.')) {
        ++at;
        if (at < words.size() && isName(words[at])) {
            parts.push_back(nameValue(words[at++]));
        } else if (at < words.size() && isSymbol(words[at], '.')) {
            parts.emplace_back();
        } else {
            syntaxError(".");
        }
    }
    return parts;
}

StatementKind kindOf(const Token& first) {
    if (isWord(first, "SELECT") || isWord(first, "WITH") || isWord(first, "VALUES")) {
        return StatementKind::Query;
    }
    if (isWord(first, "INSERT") || isWord(first, "REPLACE")) {
        return StatementKind::Insert;
    }
    if (isWord(first, "UPDATE")) {
        return StatementKind::Update;
    }
    if (isWord(first, "DELETE")) {
        return StatementKind::Delete;
    }
    return StatementKind::Other;
}

// SQLite statements that are not T-SQL and would reach past the server's own handling.
bool sqliteOnly(const Token& first) {
    static constexpr std::array kWords = {"ATTACH", "DETACH", "PRAGMA", "VACUUM", "END", "SAVEPOINT", "RELEASE"};
    for (const char* word : kWords) {
        if (isWord(first, word)) {
            return true;
        }
    }
    return false;
}

constexpr std::array<const char*, 5> kBackupParameters = {"DbName", "FilePath", "Kind", "Label", "RunTime"};

// An argument's value as the procedure's nvarchar parameter receives it: a literal without N is
// varchar first, in the code page of the current database's collation.
std::string argumentValue(const Token& literal, const Collation& collation) {
    const std::string value = literalValue(literal);
    return literal.kind == TokenKind::String ? toCodePage(collation, value) : value;
}

// Binds positional and @name = value arguments to the procedure's five parameters.
BackupCall bindBackupArguments(const std::vector<Token>& words, std::size_t at, const Collation& collation) {
    std::array<std::optional<std::string>, 5> values;
    std::size_t position = 0;
    while (at < words.size()) {
        std::size_t slot = position++;
        if (words[at].kind == TokenKind::Variable && at + 1 < words.size() && isSymbol(words[at + 1], '=')) {
            const std::string name = words[at].text.substr(1);
            slot = kBackupParameters.size();
            for (std::size_t p = 0; p < kBackupParameters.size(); ++p) {
                slot = iequals(name, kBackupParameters[p]) ? p : slot;
            }
            if (slot == kBackupParameters.size()) {
                throw SqlError(8145, words[at].text + " is not a parameter for procedure " + kBackupProcedure + ".",
                               kBackupProcedure);
            }
            at += 2;
        }
        if (at >= words.size() || !isLiteral(words[at])) {
            syntaxError(at < words.size() ? words[at].text : ",");
        }
        if (slot >= values.size()) {
            throw SqlError(
                8144, std::string("Procedure or function ") + kBackupProcedure + " has too many arguments specified.",
                kBackupProcedure);
        }
        values[slot] = argumentValue(words[at++], collation);
        if (at < words.size() && !isSymbol(words[at++], ',')) {
            syntaxError(words[at - 1].text);
        }
    }
    for (std::size_t p = 0; p < values.size(); ++p) {
        if (!values[p]) {
            throw SqlError(201,
                           std::string("Procedure or function '") + kBackupProcedure + "' expects parameter '@" +
                               kBackupParameters[p] + "', which was not supplied.",
                           kBackupProcedure);
        }
    }
    return BackupCall{*values[0], *values[1], *values[2], *values[3], *values[4]};
}

// A first statement of the form "db..proc 'arg', …": T-SQL's procedure call without EXEC.
bool looksLikeProcedureCall(const std::vector<Token>& words) {
    if (words.empty() || !isName(words[0])) {
        return false;
    }
    std::size_t at = 0;
    try {
        const auto parts = readDottedName(words, at);
        const bool named = iequals(parts.back(), kBackupProcedure) || parts.size() >= 2;
        return named && (at == words.size() || isLiteral(words[at]) || words[at].kind == TokenKind::Variable);
    } catch (const SqlError&) {
        return false;
    }
}

} // namespace

ErrorScope errorScope(std::int32_t number) {
    switch (number) {
    case 241: // conversion of text to a date
    case 242:
    case 245: // conversion of text to a number
    case 8114:
    case 1205: // the deadlock victim
        return ErrorScope::BatchAndTransaction;
    case 102: // syntax and names: the batch does not compile
    case 105:
    case 113:
    case 137:
    case 156:
    case 191:
    case 195:
    case 207:
    case 208:
    case 448:
    case 701:
    case 911:
    case 1035:
        return ErrorScope::Batch;
    default:
        return ErrorScope::Statement;
    }
}

void finishReply(Reply& reply) {
    if (reply.items.empty() || !std::holds_alternative<Done>(reply.items.back())) {
        reply.add(Done{});
    }
    Done* last = nullptr;
    for (ReplyItem& item : reply.items) {
        if (auto* done = std::get_if<Done>(&item)) {
            if (last != nullptr) {
                last->status |= kDoneMore;
            }
            last = done;
        }
    }
}

Executor::Executor(const ServerSettings& settings, const std::string& database, CancelSignal& cancel, bool plpAllowed,
                   int spid)
    : settings_(settings), db_(*settings.catalog, database), cancel_(cancel), plpAllowed_(plpAllowed), spid_(spid) {
    db_.setSession(spid, [this] { return cancel_.raised(); });
}

SessionValues Executor::sessionValues() const {
    return SessionValues{spid_, nesting_, rowCount_, lastError_};
}

bool Executor::reportError(const SqlError& error, const Statement& statement, Reply& reply) {
    const auto sent = [&](ServerMessage message) {
        if (message.procedure.empty()) {
            message.line = statement.line;
        }
        reply.add(message);
    };
    const ServerMessage& message = error.message();
    sent(message);
    for (const ServerMessage& next : error.following()) {
        sent(next);
    }
    // @@ERROR and what the error ends follow the last message: a BACKUP or RESTORE that fails,
    // whatever the cause, ends with 3013, which ends only its statement.
    const ServerMessage& last = error.following().empty() ? message : error.following().back();
    lastError_ = last.number;
    rowCount_ = 0;
    reply.add(Done{message.procedure.empty() ? DoneToken::Done : DoneToken::DoneProc, kDoneError, 0, 0});
    const ErrorScope scope = errorScope(last.number);
    if (xactAbort_ || scope == ErrorScope::BatchAndTransaction) {
        rollBack(reply);
    }
    return !xactAbort_ && scope == ErrorScope::Statement;
}

void Executor::rollBack(Reply& reply) {
    if (nesting_ == 0) {
        return;
    }
    if (db_.inTransaction()) {
        db_.executePlain("ROLLBACK");
    }
    reply.add(TransactionChange{TransactionEvent::Rollback, transaction_});
    transaction_ = 0;
    nesting_ = 0;
}

Reply Executor::runBatch(std::string_view sql) {
    Reply reply;
    try {
        const std::vector<Statement> statements = splitStatements(sql);
        for (std::size_t i = 0; i < statements.size() && !cancel_.raised(); ++i) {
            try {
                runStatement(statements[i], i == 0, reply);
                lastError_ = 0;
            } catch (const SqlError& e) {
                if (!reportError(e, statements[i], reply)) {
                    break;
                }
            }
        }
    } catch (const SqlError& e) { // the batch did not even split into statements
        reply.add(e.message());
        reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    } catch (const Cancelled&) {
        // The session answers the ATTENTION; what was built so far is dropped.
    }
    if (transaction_ != 0 && !db_.inTransaction()) { // SQLite rolled back on its own after an error
        reply.add(TransactionChange{TransactionEvent::Rollback, transaction_});
        transaction_ = 0;
        nesting_ = 0;
    }
    finishReply(reply);
    return reply;
}

void Executor::runStatement(const Statement& statement, bool firstInBatch, Reply& reply) {
    const std::vector<Token> words = significant(statement.tokens);
    if (words.empty()) {
        return;
    }
    const Token& first = words[0];
    if (isWord(first, "USE")) {
        use(words, reply);
    } else if ((isWord(first, "CREATE") || isWord(first, "DROP")) && words.size() > 1 && isWord(words[1], "DATABASE")) {
        databaseCommand(words, reply);
    } else if (isWord(first, "EXEC") || isWord(first, "EXECUTE")) {
        procedureCall(words, 1, reply);
    } else if (firstInBatch && looksLikeProcedureCall(words)) {
        procedureCall(words, 0, reply);
    } else if (isDiskCommand(words)) {
        runDiskCommand(words,
                       DiskCommandContext{*settings_.catalog, db_.database(), inUserTransaction(),
                                          settings_.backupDelay, &cancel_},
                       reply);
    } else if (isWord(first, "WAITFOR")) {
        waitfor(words, reply);
    } else if (isWord(first, "SET")) {
        setOption(words, reply);
    } else if (isWord(first, "BEGIN") || isWord(first, "COMMIT") || isWord(first, "ROLLBACK") ||
               isWord(first, "SAVE")) {
        transactionStatement(words, reply);
    } else if (sqliteOnly(first)) {
        syntaxError(first.text);
    } else {
        runSqlite(statement, words, reply);
    }
}

void Executor::runSqlite(const Statement& statement, const std::vector<Token>& words, Reply& reply) {
    const std::size_t before = reply.items.size();
    const auto withCatalogView = withSysDatabasesTable(statement.tokens);
    if (withCatalogView) {
        db_.executePlain(sysDatabasesFillSql(*settings_.catalog).c_str());
    }
    TranslationContext context{
        db_.database(),
        [this](const std::string& database) { return db_.schemaFor(database); },
        db_.collation(),
        [this](const std::string& database, const std::string& table) { return db_.columnsOf(database, table); },
        sessionValues(),
        settings_.backupProcedureInstalled,
        [this](const std::string& database) {
            return settings_.catalog->collationOf(settings_.catalog->find(database).value_or(database));
        }};
    const Translation translation = translateToSqlite(withCatalogView ? *withCatalogView : statement.tokens, context);
    db_.execute(translation, kindOf(words[0]), nocount_, plpAllowed_, reply);
    if (reply.items.size() > before) {
        if (const auto* done = std::get_if<Done>(&reply.items.back())) {
            rowCount_ = static_cast<std::int64_t>(done->count);
        }
    }
}

void Executor::use(const std::vector<Token>& words, Reply& reply) {
    if (words.size() != 2 || !isName(words[1])) {
        syntaxError(words.size() > 1 ? words[1].text : "USE");
    }
    const std::string oldName = db_.database();
    db_.use(nameValue(words[1]));
    reply.add(DatabaseChange{db_.database(), oldName, db_.collation()});
    reply.add(ServerMessage{5701, 2, 0, "Changed database context to '" + db_.database() + "'.", {}, 1});
    reply.add(Done{});
}

// CREATE DATABASE name [COLLATE collation], DROP DATABASE name.
void Executor::databaseCommand(const std::vector<Token>& words, Reply& reply) {
    const bool create = isWord(words[0], "CREATE");
    const bool collated = create && words.size() == 5 && isWord(words[3], "COLLATE") && isName(words[4]);
    if ((words.size() != 3 && !collated) || !isName(words[2])) {
        syntaxError(words.size() > 3 ? words[3].text : words.back().text);
    }
    const std::string name = nameValue(words[2]);
    if (create) {
        std::optional<Collation> collation;
        if (collated) {
            collation = findCollation(nameValue(words[4]));
            if (!collation) {
                throw SqlError(448, "Invalid collation '" + nameValue(words[4]) + "'.");
            }
        }
        createDatabase(*settings_.catalog, name, collation);
    } else if (iequals(name, db_.database())) {
        throw SqlError(3702, "Cannot drop database \"" + name + "\" because it is currently in use.");
    } else {
        dropDatabase(*settings_.catalog, name);
    }
    reply.add(Done{});
}

void Executor::procedureCall(const std::vector<Token>& words, std::size_t nameAt, Reply& reply) {
    if (nameAt >= words.size() || !isName(words[nameAt])) {
        syntaxError(nameAt < words.size() ? words[nameAt].text : words.back().text);
    }
    std::size_t at = nameAt;
    const std::vector<std::string> parts = readDottedName(words, at);
    const std::string& database = parts.size() >= 3 ? parts[0] : db_.database();
    if (!iequals(parts.back(), kBackupProcedure) || !iequals(database, "master") || parts.size() > 3 ||
        !settings_.backupProcedureInstalled) {
        throw SqlError(2812, "Could not find stored procedure '" + parts.back() + "'.");
    }
    const BackupCall call = bindBackupArguments(words, at, db_.collation());
    if (settings_.backupDelay.count() > 0 && !cancel_.sleep_for(settings_.backupDelay)) {
        throw Cancelled();
    }
    runBackup(*settings_.catalog, settings_.failingBackups, call, inUserTransaction(), reply);
    reply.add(ReturnStatus{0});
    reply.add(Done{DoneToken::DoneProc, kDoneCount, kCmdExecute, 0});
}

void Executor::waitfor(const std::vector<Token>& words, Reply& reply) {
    if (words.size() != 3 || !isWord(words[1], "DELAY") || !isLiteral(words[2])) {
        throw SqlError(102, "Only WAITFOR DELAY 'hh:mm:ss' is supported by this server.");
    }
    const auto delay = parseTimeOfDay(literalValue(words[2]));
    if (!delay) {
        throw SqlError(148, "Incorrect time syntax in time string '" + literalValue(words[2]) + "' used with WAITFOR.");
    }
    if (!cancel_.sleep_for(*delay)) {
        throw Cancelled();
    }
    reply.add(Done{});
}

void Executor::setOption(const std::vector<Token>& words, Reply& reply) {
    // Session options are accepted; NOCOUNT drops the counts from DONE, XACT_ABORT makes every
    // error end the batch and the transaction, LOCK_TIMEOUT bounds the wait for another's lock.
    if (words.size() == 3 && isWord(words[1], "NOCOUNT")) {
        nocount_ = isWord(words[2], "ON");
    } else if (words.size() == 3 && isWord(words[1], "XACT_ABORT")) {
        xactAbort_ = isWord(words[2], "ON");
    } else if (words.size() >= 3 && isWord(words[1], "LOCK_TIMEOUT")) {
        const bool negative = words.size() == 4 && isSymbol(words[2], '-');
        const Token& value = words.back();
        if (value.kind != TokenKind::Number || words.size() > 4 || (words.size() == 4 && !negative)) {
            syntaxError(words[2].text);
        }
        db_.setLockTimeout(std::chrono::milliseconds(std::stoll(value.text) * (negative ? -1 : 1)));
    }
    reply.add(Done{});
}

void Executor::transactionStatement(const std::vector<Token>& words, Reply& reply) {
    const bool namedTran =
        words.size() == 1 || isWord(words[1], "TRAN") || isWord(words[1], "TRANSACTION") || isWord(words[1], "WORK");
    if (isWord(words[0], "SAVE") || !namedTran || (isWord(words[0], "BEGIN") && words.size() == 1)) {
        syntaxError(words.size() > 1 ? words[1].text : words[0].text);
    }
    if (isWord(words[0], "BEGIN")) {
        begin(reply);
    } else {
        end(isWord(words[0], "COMMIT"), reply);
    }
    reply.add(Done{});
}

void Executor::begin(Reply& reply) {
    if (nesting_++ > 0) { // nested BEGIN TRAN only counts, as in SQL Server
        return;
    }
    db_.executePlain("BEGIN");
    transaction_ = nextDescriptor_++;
    reply.add(TransactionChange{TransactionEvent::Begin, transaction_});
}

void Executor::end(bool commit, Reply& reply) {
    if (nesting_ == 0) {
        throw SqlError(commit ? 3902 : 3903, std::string("The ") + (commit ? "COMMIT" : "ROLLBACK") +
                                                 " TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    }
    if (commit && nesting_ > 1) {
        --nesting_;
        return;
    }
    if (db_.inTransaction()) {
        db_.executePlain(commit ? "COMMIT" : "ROLLBACK");
    }
    reply.add(TransactionChange{commit ? TransactionEvent::Commit : TransactionEvent::Rollback, transaction_});
    transaction_ = 0;
    nesting_ = 0;
}

Reply Executor::transactionRequest(TransactionRequest request, bool beginAnother) {
    Reply reply;
    try {
        if (request == TransactionRequest::Begin) {
            begin(reply);
        } else {
            end(request == TransactionRequest::Commit, reply);
            if (beginAnother) {
                begin(reply);
            }
        }
        reply.add(Done{});
    } catch (const SqlError& e) {
        reply.add(e.message());
        reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    } catch (const Cancelled&) {
    }
    finishReply(reply);
    return reply;
}

} // namespace standin
