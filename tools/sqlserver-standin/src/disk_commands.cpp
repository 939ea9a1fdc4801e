#include "disk_commands.h"

#include "backup_set.h"
#include "collation.h"
#include "database_state.h"
#include "restore_set.h"
#include "sqlite_session.h"
#include "utf.h"

#include <sqlite3.h>

namespace standin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSysDatabasesTable = "[standin sys.databases]";

[[noreturn]] void syntaxError(const std::string& near) {
    throw SqlError(102, "Incorrect syntax near '" + near + "'.");
}

// A cursor over the significant tokens of one statement.
class Words {
public:
    explicit Words(const std::vector<Token>& words) : words_(words) {}

    bool done() const { return at_ >= words_.size(); }
    const Token* peek() const { return done() ? nullptr : &words_[at_]; }
    bool word(const char* text) {
        if (!done() && isWord(words_[at_], text)) {
            ++at_;
            return true;
        }
        return false;
    }
    bool symbol(char c) {
        if (!done() && words_[at_].kind == TokenKind::Symbol && words_[at_].text == std::string(1, c)) {
            ++at_;
            return true;
        }
        return false;
    }
    void expectWord(const char* text) {
        if (!word(text)) {
            fail();
        }
    }
    void expectSymbol(char c) {
        if (!symbol(c)) {
            fail();
        }
    }
    std::string name() {
        if (done() || (words_[at_].kind != TokenKind::Word && words_[at_].kind != TokenKind::Quoted)) {
            fail();
        }
        return nameValue(words_[at_++]);
    }
    std::string literal() {
        if (done() || (words_[at_].kind != TokenKind::String && words_[at_].kind != TokenKind::NString)) {
            fail();
        }
        return literalValue(words_[at_++]);
    }
    // An option's value: a string, a number or a word.
    std::string value() {
        if (done()) {
            fail();
        }
        const Token& t = words_[at_++];
        return t.kind == TokenKind::String || t.kind == TokenKind::NString ? literalValue(t) : t.text;
    }
    [[noreturn]] void fail() const { syntaxError(done() ? words_.back().text : words_[at_].text); }

private:
    const std::vector<Token>& words_;
    std::size_t at_ = 0;
};

// The options after WITH: plain words, "NAME = value", "MOVE 'a' TO 'b'", separated by commas.
struct Options {
    std::vector<std::string> flags; // upper case
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::pair<std::string, std::string>> moves;

    bool has(const char* flag) const {
        for (const std::string& f : flags) {
            if (iequals(f, flag)) {
                return true;
            }
        }
        return false;
    }
    std::string valueOf(const char* key) const {
        for (const auto& [k, v] : values) {
            if (iequals(k, key)) {
                return v;
            }
        }
        return {};
    }
};

Options readOptions(Words& words) {
    Options options;
    if (words.done()) {
        return options;
    }
    words.expectWord("WITH");
    do {
        const std::string option = words.name();
        if (iequals(option, "MOVE")) {
            std::string logical = words.literal();
            words.expectWord("TO");
            options.moves.emplace_back(std::move(logical), words.literal());
        } else if (words.symbol('=')) {
            options.values.emplace_back(option, words.value());
        } else {
            options.flags.push_back(option);
        }
    } while (words.symbol(','));
    if (!words.done()) {
        words.fail();
    }
    return options;
}

std::string readDisk(Words& words) {
    if (!words.word("DISK")) {
        throw SqlError(3206, "Only backup devices of the form DISK = 'file' are supported by this server.");
    }
    words.expectSymbol('=');
    std::string file = words.literal();
    if (words.symbol(',')) {
        throw SqlError(3206, "Striped backup sets (several devices) are not supported by this server.");
    }
    return file;
}

// The wait of --backup-delay, for tests that stop a client during a slow backup or restore.
void delay(const DiskCommandContext& context) {
    if (context.delay.count() > 0 && context.cancel != nullptr && !context.cancel->sleep_for(context.delay)) {
        throw Cancelled();
    }
}

void refuseInTransaction(const DiskCommandContext& context, const std::string& statement) {
    if (context.inTransaction) {
        throw terminating(3021, "Cannot perform a backup or restore operation within a transaction.", statement);
    }
}

void backupStatement(Words& words, const DiskCommandContext& context, Reply& reply) {
    BackupRequest request;
    const bool log = words.word("LOG");
    if (!log) {
        words.expectWord("DATABASE");
    }
    request.database = words.name();
    words.expectWord("TO");
    request.file = readDisk(words);
    const Options options = readOptions(words);
    request.kind = log ? BackupKind::Log : options.has("DIFFERENTIAL") ? BackupKind::Differential : BackupKind::Full;
    request.name = options.valueOf("NAME");
    request.overwrite = options.has("INIT") || options.has("FORMAT");
    refuseInTransaction(context, log ? "BACKUP LOG" : "BACKUP DATABASE");
    delay(context);
    backupDatabase(context.catalog, request, reply);
}

// RESTORE HEADERONLY | FILELISTONLY | VERIFYONLY FROM DISK = '…' [WITH …]
bool restoreInformation(const std::vector<Token>& all, const DiskCommandContext& context, Reply& reply) {
    Words words(all);
    words.expectWord("RESTORE");
    const bool header = words.word("HEADERONLY");
    const bool files = !header && words.word("FILELISTONLY");
    const bool verify = !header && !files && words.word("VERIFYONLY");
    if (!header && !files && !verify) {
        return false;
    }
    words.expectWord("FROM");
    const std::string file = readDisk(words);
    readOptions(words);
    refuseInTransaction(context, verify ? "VERIFY DATABASE" : header ? "RESTORE HEADERONLY" : "RESTORE FILELIST");
    std::lock_guard lock(backupRestoreMutex());
    if (verify) {
        verifyBackup(file, reply);
        reply.add(Done{});
        return true;
    }
    ResultSet rows = header ? backupHeaderRows(file) : backupFileListRows(file);
    const std::uint64_t count = rows.rows.size();
    reply.add(std::move(rows));
    reply.add(Done{DoneToken::Done, kDoneCount, kCmdSelect, count});
    return true;
}

void restoreSequenceStep(const std::vector<Token>& all, const DiskCommandContext& context, Reply& reply) {
    Words words(all);
    words.expectWord("RESTORE");
    RestoreRequest request;
    request.log = words.word("LOG");
    if (!request.log) {
        words.expectWord("DATABASE");
    }
    request.database = words.name();
    if (words.word("FROM")) {
        request.file = readDisk(words);
    }
    const Options options = readOptions(words);
    request.moves = options.moves;
    request.replace = options.has("REPLACE");
    request.recovery = !options.has("NORECOVERY") && !options.has("STANDBY");
    if (options.has("RECOVERY") && options.has("NORECOVERY")) {
        throw SqlError(3032, "One or more of the options (recovery, norecovery) are not supported for this statement. "
                             "Review the documentation for supported options.");
    }
    refuseInTransaction(context, request.log ? "RESTORE LOG" : "RESTORE DATABASE");
    delay(context);
    restoreDatabase(context.catalog, request, context.sessionDatabase, reply);
    reply.add(Done{});
}

// DBCC CHECKDB [(name)] [WITH NO_INFOMSGS, ALL_ERRORMSGS, …]: SQLite's integrity check of the file.
void checkDatabase(Words& words, const DiskCommandContext& context, Reply& reply) {
    std::string name = context.sessionDatabase;
    if (words.symbol('(')) {
        const Token* next = words.peek();
        name = next != nullptr && (next->kind == TokenKind::String || next->kind == TokenKind::NString)
                   ? words.literal()
                   : words.name();
        while (words.symbol(',')) {
            words.name(); // NOINDEX and the repair options change nothing here
        }
        words.expectSymbol(')');
    }
    const Options options = readOptions(words);
    const auto database = context.catalog.find(name);
    if (!database) {
        throw SqlError(2520, "Could not find database '" + name +
                                 "'. The database either does not exist, or was dropped before a statement tried to "
                                 "use it. Verify if the database exists by querying the sys.databases catalog view.");
    }
    refuseWhileRestoring(context.catalog, *database);
    std::vector<std::string> problems;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(context.catalog.fileOf(*database).c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        problems.emplace_back(db != nullptr ? sqlite3_errmsg(db) : "cannot open the database file");
    } else {
        sqlite3_busy_timeout(db, 10000);
        registerCollations(db); // the check orders the values of collated columns and indexes
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) != SQLITE_OK) {
            problems.emplace_back(sqlite3_errmsg(db));
        }
        int rc = SQLITE_DONE;
        while (stmt != nullptr && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            if (text != nullptr && std::string(text) != "ok") {
                problems.emplace_back(text);
            }
        }
        if (stmt != nullptr && rc != SQLITE_DONE) {
            problems.emplace_back(sqlite3_errmsg(db));
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    const std::string summary = "CHECKDB found 0 allocation errors and " + std::to_string(problems.size()) +
                                " consistency errors in database '" + *database + "'.";
    if (!problems.empty()) {
        SqlError error(8939, "Table error: " + problems.front());
        for (std::size_t i = 1; i < problems.size(); ++i) {
            error.follow({8939, 1, 16, "Table error: " + problems[i], {}, 1});
        }
        error.follow({8989, 1, 16, summary, {}, 1});
        throw error;
    }
    if (!options.has("NO_INFOMSGS")) {
        reply.add(info(8989, summary));
        reply.add(info(2528, "DBCC execution completed. If DBCC printed error messages, contact your system "
                             "administrator."));
    }
    reply.add(Done{});
}

// ALTER DATABASE name SET RECOVERY FULL | BULK_LOGGED | SIMPLE [WITH NO_WAIT]
void alterDatabase(Words& words, const DiskCommandContext& context, Reply& reply) {
    const std::string name = words.name();
    if (!words.word("SET") || !words.word("RECOVERY")) {
        throw SqlError(102, "Only ALTER DATABASE … SET RECOVERY FULL | BULK_LOGGED | SIMPLE is supported by this "
                            "server.");
    }
    const std::string model = asciiLower(words.name());
    if (model != "full" && model != "simple" && model != "bulk_logged") {
        words.fail();
    }
    readOptions(words);
    const auto database = context.catalog.find(name);
    if (!database) {
        throw SqlError(5011, "User does not have permission to alter database '" + name +
                                 "', the database does not exist, or the database is not in a state that allows "
                                 "access checks.");
    }
    if (iequals(*database, "tempdb") || iequals(*database, "master")) {
        throw SqlError(5058, "Option 'RECOVERY' cannot be set in database '" + *database + "'.");
    }
    std::lock_guard lock(backupRestoreMutex());
    DatabaseState state = loadDatabaseState(context.catalog, *database);
    state.recoveryModel = model == "full" ? "FULL" : model == "simple" ? "SIMPLE" : "BULK_LOGGED";
    if (model == "simple") {
        state.logChainLsn = 0; // the log is truncated at checkpoints: the log chain ends here
    }
    saveDatabaseState(context.catalog, *database, state);
    reply.add(Done{});
}

} // namespace

bool isDiskCommand(const std::vector<Token>& words) {
    if (words.empty()) {
        return false;
    }
    return isWord(words[0], "BACKUP") || isWord(words[0], "RESTORE") ||
           (isWord(words[0], "DBCC") && words.size() > 1 && isWord(words[1], "CHECKDB")) ||
           (isWord(words[0], "ALTER") && words.size() > 1 && isWord(words[1], "DATABASE"));
}

void runDiskCommand(const std::vector<Token>& all, const DiskCommandContext& context, Reply& reply) {
    Words words(all);
    if (words.word("BACKUP")) {
        backupStatement(words, context, reply);
        reply.add(Done{});
    } else if (isWord(all[0], "RESTORE")) {
        if (!restoreInformation(all, context, reply)) {
            restoreSequenceStep(all, context, reply);
        }
    } else if (words.word("DBCC")) {
        words.expectWord("CHECKDB");
        checkDatabase(words, context, reply);
    } else {
        words.expectWord("ALTER");
        words.expectWord("DATABASE");
        alterDatabase(words, context, reply);
    }
}

std::optional<std::vector<Token>> withSysDatabasesTable(const std::vector<Token>& tokens) {
    std::vector<std::size_t> at; // positions of the significant tokens
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != TokenKind::Space) {
            at.push_back(i);
        }
    }
    const auto dot = [&](std::size_t k) {
        return k < at.size() && tokens[at[k]].kind == TokenKind::Symbol && tokens[at[k]].text == ".";
    };
    const auto named = [&](std::size_t k, const char* name) {
        return k < at.size() && (tokens[at[k]].kind == TokenKind::Word || tokens[at[k]].kind == TokenKind::Quoted) &&
               iequals(nameValue(tokens[at[k]]), name);
    };
    std::vector<Token> out;
    bool found = false;
    std::size_t next = 0; // first token of `tokens` not yet copied
    for (std::size_t k = 0; k < at.size(); ++k) {
        std::size_t first = k;
        if (named(k, "master") && dot(k + 1) && named(k + 2, "sys") && dot(k + 3) && named(k + 4, "databases")) {
            k += 4;
        } else if (named(k, "sys") && dot(k + 1) && named(k + 2, "databases") && !(k > 0 && dot(k - 1))) {
            k += 2;
        } else {
            continue;
        }
        out.insert(out.end(), tokens.begin() + static_cast<std::ptrdiff_t>(next),
                   tokens.begin() + static_cast<std::ptrdiff_t>(at[first]));
        out.push_back(Token{TokenKind::Quoted, kSysDatabasesTable, tokens[at[first]].offset});
        next = at[k] + 1;
        found = true;
    }
    if (!found) {
        return std::nullopt;
    }
    out.insert(out.end(), tokens.begin() + static_cast<std::ptrdiff_t>(next), tokens.end());
    return out;
}

std::string sysDatabasesFillSql(const Catalog& catalog) {
    const auto quoted = [](const std::string& text) {
        std::string out = "'";
        for (char c : text) {
            out += c == '\'' ? std::string("''") : std::string(1, c);
        }
        return out + "'";
    };
    // Names compare under the server's collation, as sysname columns of master do.
    std::string sql = std::string("CREATE TEMP TABLE IF NOT EXISTS ") + kSysDatabasesTable +
                      " (name NVARCHAR(128) COLLATE \"" + catalog.serverCollation().name() +
                      "\", database_id INT, state TINYINT, state_desc NVARCHAR(60), recovery_model TINYINT,"
                      " recovery_model_desc NVARCHAR(60), collation_name NVARCHAR(128));"
                      "DELETE FROM temp." +
                      kSysDatabasesTable + ";";
    for (const auto& [name, id] : catalog.namesWithIds()) {
        const DatabaseState state = loadDatabaseState(catalog, name);
        const int model = state.recoveryModel == "FULL" ? 1 : state.recoveryModel == "BULK_LOGGED" ? 2 : 3;
        // collation_name is NULL while the database is not online.
        const std::string collation = state.restoring ? "NULL" : quoted(catalog.collationOf(name).name());
        sql += "INSERT INTO temp." + std::string(kSysDatabasesTable) + " VALUES (" + quoted(name) + ", " +
               std::to_string(id) + ", " + (state.restoring ? "1, 'RESTORING'" : "0, 'ONLINE'") + ", " +
               std::to_string(model) + ", " + quoted(state.recoveryModel) + ", " + collation + ");";
    }
    return sql;
}

void createDatabase(Catalog& catalog, const std::string& name, const std::optional<Collation>& collation) {
    catalog.create(name, collation);
    std::lock_guard lock(backupRestoreMutex());
    forgetDatabaseState(catalog, *catalog.find(name)); // a state left by a database file removed by hand
}

void dropDatabase(Catalog& catalog, const std::string& name) {
    const std::string canonical = catalog.find(name).value_or(name);
    catalog.drop(name);
    std::lock_guard lock(backupRestoreMutex());
    forgetDatabaseState(catalog, canonical);
}

} // namespace standin
