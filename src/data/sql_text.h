#pragma once
// SQL texts kept whole as named constants, with "{}" where a value goes, so that a reader sees
// the statement the server gets instead of a chain of pieces.

#include <initializer_list>
#include <string>
#include <string_view>

namespace data {

// `pattern` with each "{}" replaced by the next value, in order. Values go in as they stand
// (quoting is the caller's) and are not searched for marks themselves; marks without a value are
// left as they are.
std::string fillSql(std::string_view pattern, std::initializer_list<std::string_view> values);

} // namespace data
