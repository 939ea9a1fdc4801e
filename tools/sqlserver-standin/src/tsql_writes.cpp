#include "tsql_writes.h"

#include "utf.h"

#include <algorithm>
#include <map>
#include <optional>

namespace standin {
namespace {

using Tokens = std::vector<Token>;

bool isSymbol(const Token& t, char c) {
    return t.kind == TokenKind::Symbol && t.text.size() == 1 && t.text[0] == c;
}
bool isName(const Token& t) {
    return t.kind == TokenKind::Word || t.kind == TokenKind::Quoted;
}

Token stringToken(const std::string& value) {
    std::string literal = "'";
    for (char c : value) {
        literal += c == '\'' ? "''" : std::string(1, c);
    }
    return Token{TokenKind::String, literal + "'", 0};
}

class WriteCoercer {
public:
    WriteCoercer(const Tokens& in, const TranslationContext& context) : in_(in), context_(context) {}

    Tokens run() {
        std::size_t at = next(0);
        if (at >= in_.size()) {
            return in_;
        }
        if (isWord(in_[at], "INSERT")) {
            insert(next(at + 1));
        } else if (isWord(in_[at], "UPDATE")) {
            update(next(at + 1));
        }
        return emit();
    }

private:
    std::size_t next(std::size_t at) const {
        while (at < in_.size() && in_[at].kind == TokenKind::Space) {
            ++at;
        }
        return at;
    }

    // The ")" that closes the "(" at `open`, or the end.
    std::size_t closing(std::size_t open) const {
        int depth = 0;
        for (std::size_t k = open; k < in_.size(); ++k) {
            depth += isSymbol(in_[k], '(') ? 1 : isSymbol(in_[k], ')') ? -1 : 0;
            if (depth == 0) {
                return k;
            }
        }
        return in_.size();
    }

    // The table named at `at` ("t", "dbo.t", "db..t", "db.dbo.t"): its columns, and where its
    // name ends. Empty when it is no table this connection knows.
    std::vector<TableColumn> table(std::size_t& at) const {
        std::vector<std::string> parts;
        while (at < in_.size() && isName(in_[at])) {
            parts.push_back(nameValue(in_[at]));
            std::size_t dot = next(at + 1);
            at = dot;
            if (dot >= in_.size() || !isSymbol(in_[dot], '.')) {
                break;
            }
            at = next(dot + 1);
            while (at < in_.size() && isSymbol(in_[at], '.')) { // "db..t"
                parts.emplace_back();
                at = next(at + 1);
            }
        }
        if (parts.empty() || parts.size() > 3 || !context_.columnsOf) {
            return {};
        }
        try {
            return context_.columnsOf(parts.size() == 3 ? parts[0] : "", parts.back());
        } catch (const std::exception&) {
            return {}; // an unknown database: the statement itself reports it
        }
    }

    const TableColumn* column(const std::vector<TableColumn>& columns, const std::string& name) const {
        const auto it =
            std::find_if(columns.begin(), columns.end(), [&](const TableColumn& c) { return iequals(c.name, name); });
        return it == columns.end() ? nullptr : &*it;
    }

    // Marks [begin, end) as a value written to `target`.
    void wrap(std::size_t begin, std::size_t end, const TableColumn* target) {
        const std::size_t first = next(begin);
        if (target == nullptr || first >= end || (isWord(in_[first], "DEFAULT") && next(first + 1) >= end)) {
            return;
        }
        std::size_t last = end;
        while (last > first && in_[last - 1].kind == TokenKind::Space) {
            --last;
        }
        wraps_[first] = Wrap{last, target};
    }

    // The top-level comma-separated items of (open, close).
    std::vector<std::pair<std::size_t, std::size_t>> items(std::size_t open, std::size_t close) const {
        std::vector<std::pair<std::size_t, std::size_t>> out;
        int depth = 0;
        std::size_t start = open + 1;
        for (std::size_t k = open + 1; k < close; ++k) {
            depth += isSymbol(in_[k], '(') ? 1 : isSymbol(in_[k], ')') ? -1 : 0;
            if (depth == 0 && isSymbol(in_[k], ',')) {
                out.emplace_back(start, k);
                start = k + 1;
            }
        }
        out.emplace_back(start, close);
        return out;
    }

    // INSERT [INTO] table [(columns)] VALUES (row) [, (row)]...
    void insert(std::size_t at) {
        if (at < in_.size() && isWord(in_[at], "INTO")) {
            at = next(at + 1);
        }
        columns_ = table(at);
        const std::vector<TableColumn>& columns = columns_;
        if (columns.empty()) {
            return;
        }
        std::vector<const TableColumn*> targets;
        if (at < in_.size() && isSymbol(in_[at], '(')) {
            const std::size_t close = closing(at);
            for (const auto& [begin, end] : items(at, close)) {
                const std::size_t name = next(begin);
                targets.push_back(name < end && isName(in_[name]) ? column(columns, nameValue(in_[name])) : nullptr);
            }
            at = next(close + 1);
        } else {
            for (const TableColumn& c : columns) {
                targets.push_back(&c);
            }
        }
        if (at >= in_.size() || !isWord(in_[at], "VALUES")) {
            return; // INSERT ... SELECT: the column checks still apply
        }
        for (at = next(at + 1); at < in_.size() && isSymbol(in_[at], '(');) {
            const std::size_t close = closing(at);
            const auto values = items(at, close);
            for (std::size_t i = 0; i < values.size() && i < targets.size(); ++i) {
                wrap(values[i].first, values[i].second, targets[i]);
            }
            at = next(close + 1);
            if (at < in_.size() && isSymbol(in_[at], ',')) {
                at = next(at + 1);
            }
        }
    }

    bool endsAssignments(const Token& t) const {
        return isWord(t, "FROM") || isWord(t, "WHERE") || isWord(t, "OPTION") || isWord(t, "OUTPUT");
    }

    // UPDATE table SET column = value [, column = value]... [FROM ...] [WHERE ...]
    void update(std::size_t at) {
        columns_ = table(at);
        const std::vector<TableColumn>& columns = columns_;
        if (columns.empty() || at >= in_.size() || !isWord(in_[at], "SET")) {
            return;
        }
        at = next(at + 1);
        while (at < in_.size()) {
            std::string name; // the last part of "t.column"
            while (at < in_.size() && (isName(in_[at]) || isSymbol(in_[at], '.'))) {
                name = isName(in_[at]) ? nameValue(in_[at]) : name;
                at = next(at + 1);
            }
            if (at >= in_.size() || !isSymbol(in_[at], '=')) {
                return;
            }
            const std::size_t begin = at + 1;
            int depth = 0;
            std::size_t end = begin;
            for (; end < in_.size(); ++end) {
                depth += isSymbol(in_[end], '(') ? 1 : isSymbol(in_[end], ')') ? -1 : 0;
                if (depth == 0 && (isSymbol(in_[end], ',') || endsAssignments(in_[end]))) {
                    break;
                }
            }
            wrap(begin, end, column(columns, name));
            if (end >= in_.size() || !isSymbol(in_[end], ',')) {
                return;
            }
            at = next(end + 1);
        }
    }

    Tokens emit() const {
        Tokens out;
        out.reserve(in_.size() + 8 * wraps_.size());
        for (std::size_t k = 0; k < in_.size(); ++k) {
            const auto it = wraps_.find(k);
            if (it == wraps_.end()) {
                out.push_back(in_[k]);
                continue;
            }
            out.push_back(Token{TokenKind::Word, "standin_coerce", 0});
            out.push_back(Token{TokenKind::Symbol, "(", 0});
            out.insert(out.end(), in_.begin() + static_cast<std::ptrdiff_t>(k),
                       in_.begin() + static_cast<std::ptrdiff_t>(it->second.end));
            for (const std::string& argument : {it->second.target->declaredType, it->second.target->collation}) {
                out.push_back(Token{TokenKind::Symbol, ",", 0});
                out.push_back(Token{TokenKind::Space, " ", 0});
                out.push_back(stringToken(argument));
            }
            out.push_back(Token{TokenKind::Symbol, ")", 0});
            k = it->second.end - 1;
        }
        return out;
    }

    struct Wrap {
        std::size_t end = 0; // one past the value's last token
        const TableColumn* target = nullptr;
    };

    const Tokens& in_;
    const TranslationContext& context_;
    std::vector<TableColumn> columns_;  // of the table written to
    std::map<std::size_t, Wrap> wraps_; // by the value's first token
};

} // namespace

std::vector<Token> withCoercedWrites(const std::vector<Token>& tokens, const TranslationContext& context) {
    return WriteCoercer(tokens, context).run();
}

} // namespace standin
