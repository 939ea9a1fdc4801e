#include "executor.h"

#include "backup_procedure.h"
#include "datetime.h"
#include "tsql_translate.h"
#include "utf.h"

#include <array>
#include <optional>

namespace standin {
namespace {

bool is_name(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}
bool is_symbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}
bool is_literal(const Token& t) {
    return t.kind == TokenKind::String || t.kind == TokenKind::NString || t.kind == TokenKind::Number;
}

[[noreturn]] void syntax_error(const std::string& near) {
    throw SqlError(102, "Incorrect syntax near '" + near + "'.");
}

// Reads a name of dotted parts ("master..SSP_BackUPDB") starting at `at`; empty parts stay empty.
std::vector<std::string> read_dotted_name(const std::vector<Token>& words, std::size_t& at) {
    std::vector<std::string> parts{name_value(words.at(at++))};
    while (at < words.size() && is_symbol(words[at], '.')) {
        ++at;
        if (at < words.size() && is_name(words[at])) {
            parts.push_back(name_value(words[at++]));
        } else if (at < words.size() && is_symbol(words[at], '.')) {
            parts.emplace_back();
        } else {
            syntax_error(".");
        }
    }
    return parts;
}

StatementKind kind_of(const Token& first) {
    if (is_word(first, "SELECT") || is_word(first, "WITH") || is_word(first, "VALUES")) {
        return StatementKind::Query;
    }
    if (is_word(first, "INSERT") || is_word(first, "REPLACE")) {
        return StatementKind::Insert;
    }
    if (is_word(first, "UPDATE")) {
        return StatementKind::Update;
    }
    if (is_word(first, "DELETE")) {
        return StatementKind::Delete;
    }
    return StatementKind::Other;
}

// SQLite statements that are not T-SQL and would reach past the server's own handling.
bool sqlite_only(const Token& first) {
    static constexpr std::array kWords = {"ATTACH", "DETACH", "PRAGMA", "VACUUM", "END", "SAVEPOINT", "RELEASE"};
    for (const char* word : kWords) {
        if (is_word(first, word)) {
            return true;
        }
    }
    return false;
}

constexpr std::array<const char*, 5> kBackupParameters = {"DbName", "FilePath", "Kind", "Label", "RunTime"};

// Binds positional and @name = value arguments to the procedure's five parameters.
BackupCall bind_backup_arguments(const std::vector<Token>& words, std::size_t at) {
    std::array<std::optional<std::string>, 5> values;
    std::size_t position = 0;
    while (at < words.size()) {
        std::size_t slot = position++;
        if (words[at].kind == TokenKind::Variable && at + 1 < words.size() && is_symbol(words[at + 1], '=')) {
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
        if (at >= words.size() || !is_literal(words[at])) {
            syntax_error(at < words.size() ? words[at].text : ",");
        }
        if (slot >= values.size()) {
            throw SqlError(
                8144, std::string("Procedure or function ") + kBackupProcedure + " has too many arguments specified.",
                kBackupProcedure);
        }
        values[slot] = literal_value(words[at++]);
        if (at < words.size() && !is_symbol(words[at++], ',')) {
            syntax_error(words[at - 1].text);
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
bool looks_like_procedure_call(const std::vector<Token>& words) {
    if (words.empty() || !is_name(words[0])) {
        return false;
    }
    std::size_t at = 0;
    try {
        const auto parts = read_dotted_name(words, at);
        const bool named = iequals(parts.back(), kBackupProcedure) || parts.size() >= 2;
        return named && (at == words.size() || is_literal(words[at]) || words[at].kind == TokenKind::Variable);
    } catch (const SqlError&) {
        return false;
    }
}

} // namespace

void finish_reply(Reply& reply) {
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

Executor::Executor(const ServerSettings& settings, const std::string& database, CancelSignal& cancel, bool plp_allowed)
    : settings_(settings), db_(*settings.catalog, database), cancel_(cancel), plp_allowed_(plp_allowed) {}

Reply Executor::run_batch(std::string_view sql) {
    Reply reply;
    try {
        const std::vector<Statement> statements = split_statements(sql);
        for (std::size_t i = 0; i < statements.size() && !cancel_.raised(); ++i) {
            try {
                run_statement(statements[i], i == 0, reply);
            } catch (SqlError& e) {
                ServerMessage message = e.message();
                if (message.procedure.empty()) {
                    message.line = statements[i].line;
                }
                reply.add(message);
                reply.add(Done{message.procedure.empty() ? DoneToken::Done : DoneToken::DoneProc, kDoneError, 0, 0});
                break;
            }
        }
    } catch (const SqlError& e) { // the batch did not even split into statements
        reply.add(e.message());
        reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    } catch (const Cancelled&) {
        // The session answers the ATTENTION; what was built so far is dropped.
    }
    if (transaction_ != 0 && !db_.in_transaction()) { // SQLite rolled back on its own after an error
        reply.add(TransactionChange{TransactionEvent::Rollback, transaction_});
        transaction_ = 0;
        nesting_ = 0;
    }
    finish_reply(reply);
    return reply;
}

void Executor::run_statement(const Statement& statement, bool first_in_batch, Reply& reply) {
    const std::vector<Token> words = significant(statement.tokens);
    if (words.empty()) {
        return;
    }
    const Token& first = words[0];
    if (is_word(first, "USE")) {
        use(words, reply);
    } else if ((is_word(first, "CREATE") || is_word(first, "DROP")) && words.size() > 1 &&
               is_word(words[1], "DATABASE")) {
        database_command(words, reply);
    } else if (is_word(first, "EXEC") || is_word(first, "EXECUTE")) {
        procedure_call(words, 1, reply);
    } else if (first_in_batch && looks_like_procedure_call(words)) {
        procedure_call(words, 0, reply);
    } else if (is_word(first, "WAITFOR")) {
        waitfor(words, reply);
    } else if (is_word(first, "SET")) {
        set_option(words, reply);
    } else if (is_word(first, "BEGIN") || is_word(first, "COMMIT") || is_word(first, "ROLLBACK") ||
               is_word(first, "SAVE")) {
        transaction_statement(words, reply);
    } else if (sqlite_only(first)) {
        syntax_error(first.text);
    } else {
        run_sqlite(statement, words, reply);
    }
}

void Executor::run_sqlite(const Statement& statement, const std::vector<Token>& words, Reply& reply) {
    const TranslationContext context{db_.database(),
                                     [this](const std::string& database) { return db_.schema_for(database); }};
    const Translation translation = translate_to_sqlite(statement.tokens, context);
    db_.execute(translation, kind_of(words[0]), nocount_, plp_allowed_, reply);
}

void Executor::use(const std::vector<Token>& words, Reply& reply) {
    if (words.size() != 2 || !is_name(words[1])) {
        syntax_error(words.size() > 1 ? words[1].text : "USE");
    }
    const std::string old_name = db_.database();
    db_.use(name_value(words[1]));
    reply.add(DatabaseChange{db_.database(), old_name});
    reply.add(ServerMessage{5701, 2, 0, "Changed database context to '" + db_.database() + "'.", {}, 1});
    reply.add(Done{});
}

void Executor::database_command(const std::vector<Token>& words, Reply& reply) {
    if (words.size() != 3 || !is_name(words[2])) {
        syntax_error(words.size() > 3 ? words[3].text : words.back().text);
    }
    const std::string name = name_value(words[2]);
    if (is_word(words[0], "CREATE")) {
        settings_.catalog->create(name);
    } else if (iequals(name, db_.database())) {
        throw SqlError(3702, "Cannot drop database \"" + name + "\" because it is currently in use.");
    } else {
        settings_.catalog->drop(name);
    }
    reply.add(Done{});
}

void Executor::procedure_call(const std::vector<Token>& words, std::size_t name_at, Reply& reply) {
    if (name_at >= words.size() || !is_name(words[name_at])) {
        syntax_error(name_at < words.size() ? words[name_at].text : words.back().text);
    }
    std::size_t at = name_at;
    const std::vector<std::string> parts = read_dotted_name(words, at);
    const std::string& database = parts.size() >= 3 ? parts[0] : db_.database();
    if (!iequals(parts.back(), kBackupProcedure) || !iequals(database, "master") || parts.size() > 3) {
        throw SqlError(2812, "Could not find stored procedure '" + parts.back() + "'.");
    }
    const BackupCall call = bind_backup_arguments(words, at);
    if (settings_.backup_delay.count() > 0 && !cancel_.sleep_for(settings_.backup_delay)) {
        throw Cancelled();
    }
    run_backup(*settings_.catalog, settings_.failing_backups, call);
    reply.add(ReturnStatus{0});
    reply.add(Done{DoneToken::DoneProc, kDoneCount, kCmdExecute, 0});
}

void Executor::waitfor(const std::vector<Token>& words, Reply& reply) {
    if (words.size() != 3 || !is_word(words[1], "DELAY") || !is_literal(words[2])) {
        throw SqlError(102, "Only WAITFOR DELAY 'hh:mm:ss' is supported by this server.");
    }
    const auto delay = parse_time_of_day(literal_value(words[2]));
    if (!delay) {
        throw SqlError(148,
                       "Incorrect time syntax in time string '" + literal_value(words[2]) + "' used with WAITFOR.");
    }
    if (!cancel_.sleep_for(*delay)) {
        throw Cancelled();
    }
    reply.add(Done{});
}

void Executor::set_option(const std::vector<Token>& words, Reply& reply) {
    // Session options have no effect here except NOCOUNT, which drops the counts from DONE.
    if (words.size() == 3 && is_word(words[1], "NOCOUNT")) {
        nocount_ = is_word(words[2], "ON");
    }
    reply.add(Done{});
}

void Executor::transaction_statement(const std::vector<Token>& words, Reply& reply) {
    const bool named_tran =
        words.size() == 1 || is_word(words[1], "TRAN") || is_word(words[1], "TRANSACTION") || is_word(words[1], "WORK");
    if (is_word(words[0], "SAVE") || !named_tran || (is_word(words[0], "BEGIN") && words.size() == 1)) {
        syntax_error(words.size() > 1 ? words[1].text : words[0].text);
    }
    if (is_word(words[0], "BEGIN")) {
        begin(reply);
    } else {
        end(is_word(words[0], "COMMIT"), reply);
    }
    reply.add(Done{});
}

void Executor::begin(Reply& reply) {
    if (nesting_++ > 0) { // nested BEGIN TRAN only counts, as in SQL Server
        return;
    }
    db_.execute_plain("BEGIN");
    transaction_ = next_descriptor_++;
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
    if (db_.in_transaction()) {
        db_.execute_plain(commit ? "COMMIT" : "ROLLBACK");
    }
    reply.add(TransactionChange{commit ? TransactionEvent::Commit : TransactionEvent::Rollback, transaction_});
    transaction_ = 0;
    nesting_ = 0;
}

Reply Executor::transaction_request(TransactionRequest request, bool begin_another) {
    Reply reply;
    try {
        if (request == TransactionRequest::Begin) {
            begin(reply);
        } else {
            end(request == TransactionRequest::Commit, reply);
            if (begin_another) {
                begin(reply);
            }
        }
        reply.add(Done{});
    } catch (const SqlError& e) {
        reply.add(e.message());
        reply.add(Done{DoneToken::Done, kDoneError, 0, 0});
    } catch (const Cancelled&) {
    }
    finish_reply(reply);
    return reply;
}

} // namespace standin
