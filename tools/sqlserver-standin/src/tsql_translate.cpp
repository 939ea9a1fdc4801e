#include "tsql_translate.h"

#include "reply.h"
#include "tsql_expressions.h"
#include "tsql_select.h"
#include "tsql_writes.h"
#include "utf.h"

#include <algorithm>
#include <optional>
#include <set>

namespace standin {
namespace {

bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}
bool isSymbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}

std::string quoteName(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string sqliteString(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

bool isTextType(const Token& t) {
    static constexpr const char* kTypes[] = {"nvarchar", "varchar", "nchar", "char", "ntext", "text", "sysname"};
    const std::string name = asciiLower(nameValue(t));
    for (const char* type : kTypes) {
        if (name == type) {
            return true;
        }
    }
    return false;
}

// Positions of the significant tokens in [begin, end).
std::vector<std::size_t> significantAt(const std::vector<Token>& tokens, std::size_t begin, std::size_t end) {
    std::vector<std::size_t> at;
    for (std::size_t k = begin; k < end; ++k) {
        if (tokens[k].kind != TokenKind::Space) {
            at.push_back(k);
        }
    }
    return at;
}

// CREATE TABLE: every text column without a COLLATE clause gets the database's collation, as on
// SQL Server, so that SQLite compares, sorts and groups it under that collation.
std::vector<Token> withColumnCollations(const std::vector<Token>& tokens, const std::string& collation) {
    const auto words = significantAt(tokens, 0, tokens.size());
    if (words.size() < 4 || !isWord(tokens[words[0]], "CREATE") || !isWord(tokens[words[1]], "TABLE")) {
        return tokens;
    }
    std::size_t open = words[2];
    while (open < tokens.size() && !isSymbol(tokens[open], '(')) {
        ++open;
    }
    std::vector<std::size_t> insertAfter;
    int depth = 0;
    std::size_t itemStart = open + 1;
    for (std::size_t k = open; k < tokens.size(); ++k) {
        depth += isSymbol(tokens[k], '(') ? 1 : isSymbol(tokens[k], ')') ? -1 : 0;
        const bool itemEnd = (depth == 1 && isSymbol(tokens[k], ',')) || (depth == 0 && isSymbol(tokens[k], ')'));
        if (!itemEnd) {
            continue;
        }
        const auto item = significantAt(tokens, itemStart, k);
        const bool column = item.size() >= 2 && isName(tokens[item[0]]) && !isWord(tokens[item[0]], "CONSTRAINT") &&
                            !isWord(tokens[item[0]], "PRIMARY") && !isWord(tokens[item[0]], "UNIQUE") &&
                            !isWord(tokens[item[0]], "CHECK") && !isWord(tokens[item[0]], "FOREIGN");
        const bool collated =
            std::any_of(item.begin(), item.end(), [&](std::size_t i) { return isWord(tokens[i], "COLLATE"); });
        if (column && !collated && isTextType(tokens[item[1]])) {
            std::size_t typeEnd = item[1];
            if (item.size() > 2 && isSymbol(tokens[item[2]], '(')) {
                for (std::size_t i = 2; i < item.size(); ++i) {
                    if (isSymbol(tokens[item[i]], ')')) {
                        typeEnd = item[i];
                        break;
                    }
                }
            }
            insertAfter.push_back(typeEnd);
        }
        itemStart = k + 1;
        if (depth == 0) {
            break;
        }
    }
    std::vector<Token> out;
    out.reserve(tokens.size() + 4 * insertAfter.size());
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        out.push_back(tokens[k]);
        if (std::find(insertAfter.begin(), insertAfter.end(), k) != insertAfter.end()) {
            out.push_back(Token{TokenKind::Space, " ", 0});
            out.push_back(Token{TokenKind::Word, "COLLATE", 0});
            out.push_back(Token{TokenKind::Space, " ", 0});
            out.push_back(Token{TokenKind::Quoted, quoteName(collation), 0});
        }
    }
    return out;
}

// What @@VERSION says: SQL Server 2022's form, naming this server.
constexpr const char* kVersionText = "Microsoft SQL Server 2022 (RTM) - 16.0.4000.0 (X64) \n"
                                     "\tsqlserver-standin, a stand-in for tests\n"
                                     "\tDeveloper Edition (64-bit) on Linux <X64>";

// Statements that read or write data, where expressions are evaluated.
bool isDataStatement(const std::vector<Token>& tokens) {
    const auto first =
        std::find_if(tokens.begin(), tokens.end(), [](const Token& t) { return t.kind != TokenKind::Space; });
    return first != tokens.end() && (isWord(*first, "SELECT") || isWord(*first, "INSERT") || isWord(*first, "UPDATE") ||
                                     isWord(*first, "DELETE") || isWord(*first, "WITH"));
}

class Translator {
public:
    Translator(const std::vector<Token>& tokens, const TranslationContext& context)
        : tokens_(tokens), context_(context), marksUnicode_(isDataStatement(tokens)) {}

    Translation run() {
        const std::string limit = takeTop();
        for (i_ = 0; i_ < tokens_.size(); ++i_) {
            if (!skipped_.empty() && skipped_.count(i_) != 0) {
                continue;
            }
            emitToken();
        }
        if (!limit.empty()) {
            out_.sql += " LIMIT " + limit;
        }
        return std::move(out_);
    }

private:
    // "SELECT [DISTINCT] TOP n" or "TOP (n)" at the start: SQLite says LIMIT n at the end.
    std::string takeTop() {
        std::vector<std::size_t> at;
        for (std::size_t k = 0; k < tokens_.size() && at.size() < 6; ++k) {
            if (tokens_[k].kind != TokenKind::Space) {
                at.push_back(k);
            }
        }
        if (at.size() < 3 || !isWord(tokens_[at[0]], "SELECT")) {
            return {};
        }
        std::size_t top = 1;
        if (isWord(tokens_[at[1]], "DISTINCT")) {
            top = 2;
        }
        if (top + 1 >= at.size() || !isWord(tokens_[at[top]], "TOP")) {
            return {};
        }
        std::vector<std::size_t> drop{at[top]};
        std::size_t value = top + 1;
        const bool parenthesised = isSymbol(tokens_[at[value]], '(');
        if (parenthesised) {
            if (value + 2 >= at.size() || !isSymbol(tokens_[at[value + 2]], ')')) {
                return {};
            }
            drop.push_back(at[value]);
            drop.push_back(at[value + 2]);
            ++value;
        }
        if (tokens_[at[value]].kind != TokenKind::Number) {
            return {};
        }
        drop.push_back(at[value]);
        for (std::size_t k : drop) {
            skipped_.insert(k);
        }
        return tokens_[at[value]].text;
    }

    void emitToken() {
        const Token& t = tokens_[i_];
        switch (t.kind) {
        case TokenKind::NString: // nvarchar: marked so where conversion errors may name its type
            out_.sql += marksUnicode_ ? "standin_n(" + t.text.substr(1) + ")" : t.text.substr(1);
            return;
        case TokenKind::String: // varchar: what the code page of the collation cannot hold is lost
            out_.sql += sqliteString(toCodePage(context_.collation, literalValue(t)));
            return;
        case TokenKind::Variable:
            out_.sql += sessionValue(t.text);
            return;
        case TokenKind::Word:
        case TokenKind::Quoted:
            emitNameChain();
            return;
        default:
            out_.sql += t.text;
        }
    }

    // The @@ functions this server answers, as literals; other variables are not declared.
    std::string sessionValue(const std::string& name) const {
        const SessionValues& session = context_.session;
        if (iequals(name, "@@SPID")) {
            return std::to_string(session.spid);
        }
        if (iequals(name, "@@TRANCOUNT")) {
            return std::to_string(session.trancount);
        }
        if (iequals(name, "@@ROWCOUNT")) {
            return std::to_string(session.rowcount);
        }
        if (iequals(name, "@@ERROR")) {
            return std::to_string(session.error);
        }
        if (iequals(name, "@@VERSION")) {
            return "standin_n(" + sqliteString(kVersionText) + ")";
        }
        if (iequals(name, "@@SERVERNAME")) {
            return "standin_n('sqlserver-standin')";
        }
        if (iequals(name, "@@LANGUAGE")) {
            return "standin_n('us_english')";
        }
        throw SqlError(137, "Must declare the scalar variable \"" + name + "\".");
    }

    // The next token that is not a blank, or nullptr.
    const Token* nextSignificant(std::size_t from) const {
        for (std::size_t k = from; k < tokens_.size(); ++k) {
            if (tokens_[k].kind != TokenKind::Space) {
                return &tokens_[k];
            }
        }
        return nullptr;
    }

    // Reads name parts joined by "." starting at i_; an empty part stands for "db..table".
    std::vector<std::optional<Token>> readChain(std::size_t& end) const {
        std::vector<std::optional<Token>> parts{tokens_[i_]};
        std::size_t k = i_ + 1;
        while (k + 1 < tokens_.size() && isSymbol(tokens_[k], '.')) {
            if (isName(tokens_[k + 1])) {
                parts.emplace_back(tokens_[k + 1]);
                k += 2;
            } else if (isSymbol(tokens_[k + 1], '.')) {
                parts.emplace_back(std::nullopt);
                k += 1;
            } else {
                break;
            }
        }
        if (!parts.back()) { // a trailing "..": not a name, leave it to SQLite
            parts = {tokens_[i_]};
            k = i_ + 1;
        }
        end = k;
        return parts;
    }

    bool isSysdatabases(const Token& t) const { return iequals(nameValue(t), "sysdatabases"); }

    void emitSysdatabases() {
        out_.sql += "temp.sysdatabases";
        out_.usesSysdatabases = true;
    }

    void emitNameChain() {
        std::size_t end = 0;
        const auto parts = readChain(end);
        i_ = end - 1;
        const Token& last = *parts.back();
        if (parts.size() == 1) {
            emitSingleName(last);
        } else if (parts.size() == 2) {
            emitTwoPartName(*parts[0], last);
        } else {
            emitDatabaseQualified(parts);
        }
    }

    void emitSingleName(const Token& t) {
        const Token* after = nextSignificant(i_ + 1);
        const bool call = after != nullptr && isSymbol(*after, '(');
        if (call && isWord(t, "OBJECT_ID")) {
            emitObjectId();
        } else if (call && isWord(t, "LEN")) {
            out_.sql += "standin_len";
        } else if (call && isWord(t, "ISNULL")) {
            out_.sql += "ifnull";
        } else if (isWord(t, "DATABASE_DEFAULT")) { // COLLATE DATABASE_DEFAULT
            out_.sql += quoteName(context_.collation.name());
        } else if (isWord(t, "CURRENT_TIMESTAMP")) {
            out_.sql += "getdate()";
        } else if (!call && isSysdatabases(t) && iequals(context_.currentDatabase, "master")) {
            emitSysdatabases();
        } else {
            out_.sql += t.text;
        }
    }

    // OBJECT_ID('name' [, 'type']) with literal arguments, as catalogue checks call it: the id of
    // a table or view (its row in the SQLite schema), a fixed id for master's backup procedure
    // where the server has it, and NULL for any other name, as SQL Server answers for an object it
    // does not know (also in a database that does not exist).
    void emitObjectId() {
        std::vector<std::size_t> at;
        for (std::size_t k = i_ + 1; k < tokens_.size() && at.size() < 5; ++k) {
            if (tokens_[k].kind != TokenKind::Space) {
                at.push_back(k);
            }
        }
        const auto literalAt = [&](std::size_t n) {
            return n < at.size() &&
                   (tokens_[at[n]].kind == TokenKind::String || tokens_[at[n]].kind == TokenKind::NString);
        };
        const auto symbolAt = [&](std::size_t n, char c) { return n < at.size() && isSymbol(tokens_[at[n]], c); };
        std::string type;
        std::size_t close = 2;
        if (literalAt(3) && symbolAt(2, ',')) {
            type = literalValue(tokens_[at[3]]);
            close = 4;
        }
        if (!symbolAt(0, '(') || !literalAt(1) || !symbolAt(close, ')')) {
            throw SqlError(174, "The object_id function requires 1 to 2 argument(s).");
        }
        out_.sql += objectIdExpression(literalValue(tokens_[at[1]]), type);
        i_ = at[close];
    }

    std::string objectIdExpression(const std::string& name, const std::string& type) const {
        std::vector<std::string> parts{""};
        for (char c : name) {
            if (c == '.') {
                parts.emplace_back();
            } else if (c != '[' && c != ']') {
                parts.back() += c;
            }
        }
        if (parts.size() > 3 || parts.back().empty()) {
            return "NULL";
        }
        const std::string database = parts.size() == 3 && !parts[0].empty() ? parts[0] : context_.currentDatabase;
        const std::string& object = parts.back();
        if (iequals(object, "SSP_BackUPDB") && iequals(database, "master") && (type.empty() || iequals(type, "P"))) {
            return context_.backupProcedureInstalled ? "1013578649" : "NULL";
        }
        std::string kinds;
        if (type.empty()) {
            kinds = "'table', 'view'";
        } else if (iequals(type, "U")) {
            kinds = "'table'";
        } else if (iequals(type, "V")) {
            kinds = "'view'";
        } else {
            return "NULL";
        }
        std::string schema;
        try {
            schema = context_.schemaFor(database);
        } catch (const SqlError&) {
            return "NULL";
        }
        std::string quoted = "'";
        for (char c : object) {
            quoted += c;
            if (c == '\'') {
                quoted += c;
            }
        }
        // Object names compare under the collation of the database that holds them.
        const Collation collation = context_.collationOf && !iequals(database, context_.currentDatabase)
                                        ? context_.collationOf(database)
                                        : context_.collation;
        return "(SELECT rowid FROM " + quoteName(schema) + ".sqlite_master WHERE type IN (" + kinds +
               ") AND name = " + quoted + "' COLLATE " + quoteName(collation.name()) + ")";
    }

    // "dbo.table" is the table; anything else ("alias.column", "table.column") stays.
    void emitTwoPartName(const Token& first, const Token& second) {
        const bool dbo = iequals(nameValue(first), "dbo") || iequals(nameValue(first), "sys");
        if (dbo && isSysdatabases(second) && iequals(context_.currentDatabase, "master")) {
            emitSysdatabases();
        } else if (dbo) {
            out_.sql += second.text;
        } else {
            out_.sql += first.text + "." + second.text;
        }
    }

    // "db.schema.table[.column]" with the schema part possibly empty.
    void emitDatabaseQualified(const std::vector<std::optional<Token>>& parts) {
        if (!parts[0] || !parts[2]) {
            throw SqlError(102, "Incorrect syntax near '.'.");
        }
        const std::string database = nameValue(*parts[0]);
        if (iequals(database, "master") && parts[2] && isSysdatabases(*parts[2])) {
            emitSysdatabases();
        } else {
            out_.sql += quoteName(context_.schemaFor(database));
            out_.sql += "." + parts[2]->text;
        }
        for (std::size_t k = 3; k < parts.size(); ++k) {
            out_.sql += "." + (parts[k] ? parts[k]->text : std::string());
        }
    }

    const std::vector<Token>& tokens_;
    const TranslationContext& context_;
    const bool marksUnicode_; // not in definitions, whose DEFAULT and CHECK take literals only
    std::size_t i_ = 0;
    std::set<std::size_t> skipped_;
    Translation out_;
};

} // namespace

Translation translateToSqlite(const std::vector<Token>& tokens, const TranslationContext& context) {
    const std::string collation = context.collation.name();
    const std::vector<Token> rewritten =
        rewriteExpressions(withCoercedWrites(withColumnCollations(tokens, collation), context), collation);
    Translation translation = Translator(rewritten, context).run();
    translation.results = describeSelectList(tokens);
    return translation;
}

} // namespace standin
