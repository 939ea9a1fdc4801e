#include "sqlite_errors.h"

#include <sqlite3.h>

namespace standin {
namespace {

// The text after `prefix` when `text` starts with it.
bool after(const std::string& text, const std::string& prefix, std::string& rest) {
    if (text.rfind(prefix, 0) != 0) {
        return false;
    }
    rest = text.substr(prefix.size());
    return true;
}

ServerMessage error(std::int32_t number, std::string text) {
    return ServerMessage{number, 1, 16, std::move(text), {}, 1};
}

ServerMessage constraintFailure(const std::string& text) {
    std::string rest;
    if (after(text, "NOT NULL constraint failed: ", rest)) {
        return error(515, "Cannot insert the value NULL into column '" + rest + "'; column does not allow nulls.");
    }
    if (after(text, "UNIQUE constraint failed: ", rest)) {
        return error(2627, "Violation of UNIQUE KEY constraint. Cannot insert duplicate key in '" + rest + "'.");
    }
    if (text.find("PRIMARY KEY") != std::string::npos) {
        return error(2627, "Violation of PRIMARY KEY constraint. " + text);
    }
    return error(547, "The statement conflicted with a constraint: " + text);
}

} // namespace

ServerMessage sqliteFailure(int code, const std::string& text) {
    std::string rest;
    switch (code & 0xFF) {
    case SQLITE_CONSTRAINT:
        return constraintFailure(text);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return error(1222, "Lock request time out period exceeded.");
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_IOERR:
    case SQLITE_FULL:
        return error(5120, "The database file cannot be written: " + text);
    case SQLITE_TOOBIG:
        return error(1701, "The row is too large: " + text);
    default:
        break;
    }
    if (after(text, "no such table: ", rest)) {
        return error(208, "Invalid object name '" + rest + "'.");
    }
    if (after(text, "no such column: ", rest)) {
        return error(207, "Invalid column name '" + rest + "'.");
    }
    if (after(text, "no such collation sequence: ", rest)) {
        return error(448, "Invalid collation '" + rest + "'.");
    }
    if (after(text, "no such function: ", rest)) {
        return error(195, "'" + rest + "' is not a recognized built-in function name.");
    }
    if (after(text, "table ", rest) && rest.ends_with(" already exists")) {
        const std::string name = rest.substr(0, rest.size() - std::string(" already exists").size());
        return error(2714, "There is already an object named '" + name + "' in the database.");
    }
    if (after(text, "near \"", rest) && rest.ends_with("\": syntax error")) {
        return error(102, "Incorrect syntax near '" + rest.substr(0, rest.size() - 15) + "'.");
    }
    if (text == "incomplete input") {
        return error(102, "Incorrect syntax near the end of the statement.");
    }
    return error(50000, text);
}

} // namespace standin
