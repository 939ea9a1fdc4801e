#pragma once
// Building ODBC connection strings from the server names and OLE DB connection strings the
// program uses. Connection strings carry the password: they are handed to the driver and to
// nothing else (no log, no message, no error text).

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace data {

// Where a server name points: "host", "host,port", "host\instance" (or "host\instance,port").
// "(local)", "." and an empty name mean this machine.
struct ServerAddress {
    std::string host;
    std::string instance;    // empty for the default instance
    std::optional<int> port; // given explicitly
};

// nullopt when the port is not a number from 1 to 65535 or the instance name is empty.
std::optional<ServerAddress> parseServerName(std::string_view serverName);

// A value as the ODBC standard quotes it: in braces, with "}" doubled, when it holds ";", "{" or
// "}" or begins or ends with a blank; otherwise as it stands.
std::string quoteOdbcValue(std::string_view value);

// A value as the FreeTDS driver reads it: a braced value runs to the first "};" and nothing in it
// is un-doubled, so values holding ";", "{" or "}" (or blanks at either end) go in braces as they
// stand. nullopt for a value holding "};", which the driver cannot be given.
std::optional<std::string> quoteFreeTdsValue(std::string_view value);

// True for the FreeTDS driver, named by its registered name or by its library's path.
bool isFreeTdsDriver(std::string_view driver);

struct OdbcTarget {
    std::string driver;
    ServerAddress server;
    std::string database;
    std::string user;
    std::string password;
};

// nullopt when a value cannot be written so that the driver reads it back unchanged.
std::optional<std::string> buildOdbcConnectionString(const OdbcTarget& target);

// The value of `key` (any case) in an ODBC connection string, read as FreeTDS reads it (a braced
// value runs to the first "};"); "" when absent.
std::string findOdbcValue(std::string_view connectionString, std::string_view key);

// Key/value pairs of an OLE DB connection string, keys in lower case. Values may be quoted with
// double or single quotes (the quote doubled inside). nullopt for a malformed string.
std::optional<std::map<std::string, std::string>> parseOleDbString(std::string_view text);

// True for a well-formed OLE DB string that names a provider; ODBC connection strings name none.
bool isOleDbString(std::string_view text);

// An OLE DB string for the SQL Server providers mapped onto an ODBC target for `driver`;
// `loginTimeout` receives "Connect Timeout" when the string sets one. nullopt when the provider
// is another one or the data source is no valid server name.
std::optional<OdbcTarget> odbcTargetFromOleDb(std::string_view oleDb, std::string_view driver, int& loginTimeout);

} // namespace data
