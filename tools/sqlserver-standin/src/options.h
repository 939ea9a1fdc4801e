#pragma once

#include "server.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// --init-sql DB=FILE: a schema script run once, when the database is first created.
struct InitScript {
    std::string database;
    std::filesystem::path file;
};

struct Options {
    ServerConfig server;
    std::vector<InitScript> initScripts;
    bool help = false;
};

// Holds the password when no option gives one.
inline constexpr const char* kPasswordVariable = "SQLSERVER_STANDIN_PASSWORD";

// Parses the command line; throws std::invalid_argument with a message for the user.
Options parseOptions(const std::vector<std::string>& args);
std::string usageText();

} // namespace standin
