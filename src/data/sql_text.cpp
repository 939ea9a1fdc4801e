#include "data/sql_text.h"

namespace data {

std::string fillSql(std::string_view pattern, std::initializer_list<std::string_view> values) {
    constexpr std::string_view kMark = "{}";
    std::string out;
    out.reserve(pattern.size() + 64);
    auto value = values.begin();
    std::size_t from = 0;
    for (auto at = pattern.find(kMark); at != std::string_view::npos && value != values.end();
         at = pattern.find(kMark, from)) {
        out.append(pattern.substr(from, at - from)).append(*value++);
        from = at + kMark.size();
    }
    return out.append(pattern.substr(from));
}

} // namespace data
