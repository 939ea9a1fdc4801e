#include "tsql_translate.h"

#include "reply.h"
#include "tsql_expressions.h"
#include "utf.h"

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

class Translator {
public:
    Translator(const std::vector<Token>& tokens, const TranslationContext& context)
        : tokens_(tokens), context_(context) {}

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
        case TokenKind::NString:
            out_.sql += t.text.substr(1);
            return;
        case TokenKind::Variable:
            throw SqlError(137, "Must declare the scalar variable \"" + t.text + "\".");
        case TokenKind::Word:
        case TokenKind::Quoted:
            emitNameChain();
            return;
        default:
            out_.sql += t.text;
        }
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
        return "(SELECT rowid FROM " + quoteName(schema) + ".sqlite_master WHERE type IN (" + kinds +
               ") AND name = " + quoted + "' COLLATE NOCASE)";
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
    std::size_t i_ = 0;
    std::set<std::size_t> skipped_;
    Translation out_;
};

} // namespace

Translation translateToSqlite(const std::vector<Token>& tokens, const TranslationContext& context) {
    const std::vector<Token> rewritten = rewriteExpressions(tokens);
    return Translator(rewritten, context).run();
}

} // namespace standin
