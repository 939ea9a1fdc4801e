#include "data/variant_convert.h"

#include <gtest/gtest.h>

using namespace data;

TEST(VariantConvert, NumbersFromEveryKindOfValue) {
    EXPECT_EQ(variantToInteger(Variant(2.5)), 2); // half to even
    EXPECT_EQ(variantToInteger(Variant(3.5)), 4);
    EXPECT_EQ(variantToInteger(Variant(std::string(" 12 "))), 12);
    EXPECT_EQ(variantToInteger(Variant(true)), -1);
    EXPECT_EQ(variantToInteger(Variant(Empty{})), 0);
    EXPECT_EQ(variantToInteger(Variant(std::int64_t(9007199254740993))), 9007199254740993);
    EXPECT_FALSE(variantToInteger(Variant(std::string("12abc"))));
    EXPECT_FALSE(variantToInteger(Variant(std::string(""))));
    EXPECT_FALSE(variantToInteger(Variant(std::string("nan"))));
    EXPECT_FALSE(variantToInteger(Variant(Null{})));
    EXPECT_EQ(variantToCurrency(Variant(std::string("12.34565"))), 123456);
    EXPECT_EQ(variantToDouble(Variant(zeroDateTime() + std::chrono::hours(36))), 1.5);
}

TEST(VariantConvert, DatesTextsAndBits) {
    const auto t = platform::makeLocalTime(2026, 12, 3, 2, 0, 0);
    EXPECT_EQ(variantToDate(Variant(std::string("2026/12/03 02:00:00"))), t);
    EXPECT_EQ(variantToDate(Variant(std::string("2026/12/03"))), platform::makeLocalTime(2026, 12, 3));
    EXPECT_EQ(variantToDate(Variant(1.5)), zeroDateTime() + std::chrono::hours(36));
    EXPECT_FALSE(variantToDate(Variant(std::string("tomorrow"))));
    EXPECT_EQ(variantText(Variant(t)), "2026/12/03 02:00:00");
    EXPECT_EQ(variantText(Variant(0.1)), "0.1");
    EXPECT_EQ(variantText(Variant(Null{})), "");
    for (const Variant& v : {Variant(std::string("0")), Variant(std::string("")), Variant(false), Variant(0.0),
                             Variant(std::int64_t(0)), Variant(Null{})})
        EXPECT_FALSE(variantToBit(v)) << variantText(v);
    for (const Variant& v : {Variant(std::string("x")), Variant(std::int64_t(2)), Variant(true)})
        EXPECT_TRUE(variantToBit(v)) << variantText(v);
    EXPECT_EQ(convertVariant(Variant(std::string("70000")), int(VarType::Integer)), Variant(Empty{}));
    EXPECT_EQ(convertVariant(Variant(std::string("7")), int(VarType::Long)), Variant(std::int64_t(7)));
}
