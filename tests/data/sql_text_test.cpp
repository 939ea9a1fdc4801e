#include "data/sql_text.h"

#include <gtest/gtest.h>

TEST(SqlText, MarksTakeTheValuesInOrderAndValuesAreNotSearchedAgain) {
    struct Case {
        std::string_view pattern;
        std::initializer_list<std::string_view> values;
        std::string expected;
    };
    for (const Case& c : {
             Case{"x = '{}' AND y = '{}';", {"a", "b"}, "x = 'a' AND y = 'b';"},
             Case{"{}{}", {"{}", "1"}, "{}1"},
             Case{"'{}'", {""}, "''"},
             Case{"a {} b {}", {"1"}, "a 1 b {}"},
             Case{"no marks", {"1"}, "no marks"},
             Case{"{ }{}}", {"v"}, "{ }v}"},
         })
        EXPECT_EQ(data::fillSql(c.pattern, c.values), c.expected) << c.pattern;
}
