#include "data/connection_string.h"

#include "common/password.h"

#include <algorithm>
#include <charconv>

namespace data {
namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimView(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && lower(text.substr(0, prefix.size())) == prefix;
}

std::optional<int> parsePort(std::string_view text) {
    text = trimView(text);
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool isLocalHost(std::string_view host) {
    return host.empty() || host == "." || lower(host) == "(local)";
}

bool needsBraces(std::string_view value) {
    return value.find_first_of(";{}") != std::string_view::npos ||
           (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

// Appends "key=value;"; false when the value cannot be given to FreeTDS.
bool appendFreeTds(std::string& out, std::string_view key, std::string_view value) {
    const auto quoted = quoteFreeTdsValue(value);
    if (!quoted)
        return false;
    out.append(key).append("=").append(*quoted).append(";");
    return true;
}

void appendOdbc(std::string& out, std::string_view key, std::string_view value) {
    out.append(key).append("=").append(quoteOdbcValue(value)).append(";");
}

// The strings are built in room reserved at once: each reallocation would leave a copy of the
// password behind in freed memory.
constexpr std::size_t kRoom = 1024;

std::optional<std::string> freeTdsString(const OdbcTarget& t) {
    std::string s;
    s.reserve(kRoom);
    bool ok = appendFreeTds(s, "Driver", t.driver);
    if (!t.server.instance.empty() && !t.server.port) {
        // FreeTDS asks the server's browser service for the instance's port.
        ok = ok && appendFreeTds(s, "Server", t.server.host + "\\" + t.server.instance);
    } else {
        ok = ok && appendFreeTds(s, "Server", t.server.host);
        ok = ok && appendFreeTds(s, "Port", std::to_string(t.server.port.value_or(1433)));
    }
    if (!t.database.empty())
        ok = ok && appendFreeTds(s, "Database", t.database);
    ok = ok && appendFreeTds(s, "UID", t.user) && appendFreeTds(s, "PWD", t.password);
    if (!ok)
        return std::nullopt;
    // UTF-8 keeps Japanese identifiers intact on the way to the server.
    s += "TDS_Version=7.4;ClientCharset=UTF-8;";
    return s;
}

std::string genericString(const OdbcTarget& t) {
    std::string driver = t.driver;
    std::string s;
    s.reserve(kRoom);
    s = "Driver={";
    for (char c : driver)
        s += c == '}' ? "}}" : std::string(1, c);
    s += "};";
    std::string server = t.server.host;
    if (!t.server.instance.empty())
        server += "\\" + t.server.instance;
    if (t.server.port || t.server.instance.empty())
        server += "," + std::to_string(t.server.port.value_or(1433));
    appendOdbc(s, "Server", server);
    if (!t.database.empty())
        appendOdbc(s, "Database", t.database);
    appendOdbc(s, "UID", t.user);
    appendOdbc(s, "PWD", t.password);
    return s;
}

// Reads one value starting at `pos` (after "="); quoted values end at their closing quote.
std::optional<std::string> readOleDbValue(std::string_view text, std::size_t& pos) {
    while (pos < text.size() && kBlanks.find(text[pos]) != std::string_view::npos)
        ++pos;
    if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
        const char quote = text[pos++];
        std::string value;
        while (true) {
            if (pos >= text.size())
                return std::nullopt;
            if (text[pos] == quote) {
                if (pos + 1 < text.size() && text[pos + 1] == quote) {
                    value += quote;
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            value += text[pos++];
        }
        while (pos < text.size() && text[pos] != ';') {
            if (kBlanks.find(text[pos]) == std::string_view::npos)
                return std::nullopt; // text after the closing quote
            ++pos;
        }
        return value;
    }
    const auto end = std::min(text.find(';', pos), text.size());
    std::string value(trimView(text.substr(pos, end - pos)));
    pos = end;
    return value;
}

} // namespace

std::optional<ServerAddress> parseServerName(std::string_view serverName) {
    std::string_view name = trimView(serverName);
    ServerAddress address;
    if (const auto comma = name.find(','); comma != std::string_view::npos) {
        address.port = parsePort(name.substr(comma + 1));
        if (!address.port)
            return std::nullopt;
        name = trimView(name.substr(0, comma));
    }
    if (const auto slash = name.find('\\'); slash != std::string_view::npos) {
        address.instance = std::string(trimView(name.substr(slash + 1)));
        if (address.instance.empty())
            return std::nullopt;
        name = trimView(name.substr(0, slash));
    }
    address.host = isLocalHost(name) ? "127.0.0.1" : std::string(name);
    return address;
}

std::string quoteOdbcValue(std::string_view value) {
    if (!needsBraces(value))
        return std::string(value);
    std::string out = "{";
    for (char c : value)
        out += c == '}' ? "}}" : std::string(1, c);
    return out + "}";
}

std::optional<std::string> quoteFreeTdsValue(std::string_view value) {
    if (!needsBraces(value))
        return std::string(value);
    if (value.find("};") != std::string_view::npos)
        return std::nullopt;
    return "{" + std::string(value) + "}";
}

bool isFreeTdsDriver(std::string_view driver) {
    const std::string d = lower(driver);
    return d.find("freetds") != std::string::npos || d.find("libtdsodbc") != std::string::npos;
}

std::optional<std::string> buildOdbcConnectionString(const OdbcTarget& target) {
    if (isFreeTdsDriver(target.driver))
        return freeTdsString(target);
    return genericString(target);
}

std::optional<std::map<std::string, std::string>> parseOleDbString(std::string_view text) {
    std::map<std::string, std::string> pairs;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = std::min(text.find_first_of(";=", pos), text.size());
        const std::string key = lower(trimView(text.substr(pos, end - pos)));
        if (end == text.size() || text[end] == ';') {
            if (!key.empty())
                return std::nullopt; // a key without "="
            pos = end + 1;
            continue;
        }
        pos = end + 1;
        auto value = readOleDbValue(text, pos);
        if (!value || key.empty())
            return std::nullopt;
        pairs.emplace(key, std::move(*value)); // the first of repeated keys wins
        ++pos;                                 // the ";"
    }
    return pairs;
}

bool isOleDbString(std::string_view text) {
    auto pairs = parseOleDbString(text);
    if (!pairs)
        return false;
    const bool named = pairs->count("provider") != 0;
    for (auto& [key, value] : *pairs)
        common::wipe(value); // one of them may be the password
    return named;
}

std::optional<OdbcTarget> odbcTargetFromOleDb(std::string_view oleDb, std::string_view driver, int& loginTimeout) {
    auto pairs = parseOleDbString(oleDb);
    if (!pairs)
        return std::nullopt;
    // The parsed values hold the password: they are wiped however this ends.
    struct WipeValues {
        std::map<std::string, std::string>& values;
        ~WipeValues() {
            for (auto& [key, value] : values)
                common::wipe(value);
        }
    } wipeValues{*pairs};
    auto get = [&](std::initializer_list<std::string_view> keys) -> std::string {
        for (auto key : keys)
            if (auto it = pairs->find(std::string(key)); it != pairs->end())
                return it->second;
        return {};
    };
    const std::string provider = get({"provider"});
    if (!startsWithNoCase(provider, "sqloledb") && !startsWithNoCase(provider, "sqlncli") &&
        !startsWithNoCase(provider, "msoledbsql"))
        return std::nullopt;
    const auto server = parseServerName(get({"data source", "server", "address", "addr", "network address"}));
    if (!server)
        return std::nullopt;
    if (const std::string timeout = get({"connect timeout", "timeout"}); !timeout.empty()) {
        int seconds = 0;
        const auto [end, ec] = std::from_chars(timeout.data(), timeout.data() + timeout.size(), seconds);
        if (ec != std::errc() || end != timeout.data() + timeout.size() || seconds < 0)
            return std::nullopt;
        // 0 would mean waiting for ever on a server that does not answer: keep the default then.
        if (seconds > 0)
            loginTimeout = seconds;
    }
    // Workstation ID and Persist Security Info have no meaning for the ODBC driver.
    return OdbcTarget{std::string(driver), *server, get({"initial catalog", "database"}), get({"user id", "uid"}),
                      get({"password", "pwd"})};
}

std::string findOdbcValue(std::string_view text, std::string_view key) {
    const std::string wanted = lower(key);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto eq = text.find('=', pos);
        if (eq == std::string_view::npos)
            break;
        const std::string name = lower(trimView(text.substr(pos, eq - pos)));
        std::string value;
        pos = eq + 1;
        if (pos < text.size() && text[pos] == '{') {
            const auto end = text.find("};", pos + 1);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            value = std::string(text.substr(pos + 1, stop - pos - 1));
            if (end == std::string_view::npos && !value.empty() && value.back() == '}')
                value.pop_back();
            pos = end == std::string_view::npos ? text.size() : end + 1;
        } else {
            const auto end = std::min(text.find(';', pos), text.size());
            value = std::string(text.substr(pos, end - pos));
            pos = end;
        }
        if (name == wanted)
            return value;
        ++pos;
    }
    return {};
}

} // namespace data
