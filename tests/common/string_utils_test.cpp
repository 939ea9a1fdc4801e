#include "common/ansi_strings.h"
#include "common/string_utils.h"

#include <gtest/gtest.h>

using namespace common;

TEST(HalfWidth, ConvertsFullWidthEntryText) {
    EXPECT_EQ(fnToHalfWidth("　１２：３０　", 0), "12:30");
    EXPECT_EQ(fnToHalfWidth("ＡＢＣ", 1), "abc");
    EXPECT_EQ(fnToHalfWidth("ａｂ－ー／．，", 2), "AB--/.,");
    EXPECT_EQ(fnToHalfWidth("ﾊﾝｶｸ漢字", 0), "ﾊﾝｶｸ漢字");
}

TEST(NumericCheck, AcceptsTermsAndRewritesThemNormalised) {
    struct Case {
        const char* in;
        bool ok;
        const char* out;
    };
    // "##0" with zero and negative values refused: the term fields of the settings dialog.
    const Case cases[] = {
        {"30", true, "30"},    {"９９９", true, "999"}, {" 7 ", true, "7"},    {"1000", false, "1000"},
        {"0", false, "0"},     {"", false, "0"},        {"abc", false, "abc"}, {"-5", false, "-5"},
        {"12abc", true, "12"}, {"007", true, "7"},      {"１ ０", true, "10"},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(fnCheckNumBox(text, "##0", "", true, true), c.ok) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
    }
    std::string text = "7";
    EXPECT_TRUE(fnCheckNumText(text, "000", false, false));
    EXPECT_EQ(text, "007");
    text = "";
    EXPECT_TRUE(fnCheckNumText(text, "", false, false));
    EXPECT_EQ(text, "0");
    text = " ";
    EXPECT_TRUE(fnCheckNumBox(text, "##0", "30", true, true));
    EXPECT_EQ(text, "30");
}

// A term is read as the host's number conversion reads it before the leading-number rule applies,
// so that "1,000" is a thousand days (refused) and not one day; and it passes on the number the
// field then shows.
TEST(NumericCheck, ReadsTermsAsTheHostConversionDoes) {
    struct Case {
        const char* in;
        bool ok;
        const char* out;
    };
    const Case cases[] = {
        {"1,000", false, "1000"},  {"１，０００", false, "1000"},
        {"1,,0", true, "10"},      {",5", true, "5"},
        {"+5", true, "5"},         {"5-", false, "-5"},
        {"－５", false, "-5"},     {"1.5", true, "2"},
        {"0.4", false, "0"},       {"９９９．４", true, "999"},
        {"1e2", true, "100"},      {"1E+3", false, "1000"},
        {"2D1", true, "20"},       {"1e", true, "1"},
        {"1 000", false, "1000"},  {"　１２　", true, "12"},
        {"1e999", false, "1e999"}, {".", false, "."},
        {"0x10", false, "0x10"},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(fnCheckNumBox(text, "##0", "", true, true), c.ok) << c.in;
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(InputCheck, AppliesClassesLimitsAndFormats) {
    std::string t = "12a4";
    EXPECT_FALSE(fnCheckInputText(t, "", 0, 4, false));
    t = "漢字語";
    EXPECT_FALSE(fnCheckInputText(t, "4", 9, 0, false)); // 6 bytes over a limit of 4
    t = "漢字";
    EXPECT_TRUE(fnCheckInputText(t, "4", 9, 3, true));
    t = "ab";
    EXPECT_FALSE(fnCheckInputText(t, "", 0, 3, true));
    t = "";
    EXPECT_FALSE(fnCheckInputText(t, "", 0, 0, true));
    t = "7";
    EXPECT_FALSE(fnCheckInputText(t, "00", 0, 4, true)); // length differs from the format
    EXPECT_EQ(fnByteCount("ｱ漢a"), 4);
}

TEST(Bases, ConvertTheWeekdayBoxes) {
    EXPECT_EQ(fnConvertBase(2, 10, "101"), "5");
    EXPECT_EQ(fnConvertBase(2, 10, "0000000"), "0");
    EXPECT_EQ(fnConvertBase(2, 10, "1000001"), "65");
    EXPECT_EQ(fnConvertBase(10, 16, "255"), "FF");
    EXPECT_EQ(fnFromBaseText(16, "ff"), 255);
    EXPECT_EQ(fnToBaseText(2, -1), "");
}

TEST(AnsiStrings, MeasureAndCutInCodePageBytes) {
    EXPECT_EQ(fnLenAnsi("漢字a"), 5);
    EXPECT_EQ(fnRightAnsi("/b/SALES_20261203020000_INIT.DAT", 4), ".DAT");
    EXPECT_EQ(fnRightAnsi("/b/名前.dat", 4), ".dat");
    EXPECT_EQ(fnLeftAnsi("C:\\Backup", 3), "C:\\");
    EXPECT_EQ(fnLeftAnsi("漢字", 3), "漢?"); // a cut through a character leaves half of it
    EXPECT_EQ(fnMidAnsi("ab漢字", 3, 2), "漢");
    EXPECT_EQ(fnMidAnsi("ab漢字", 5), "字");
    EXPECT_EQ(fnInStrAnsi("漢字ab", "ab"), 5);
    EXPECT_EQ(fnInStrAnsi(6, "漢字ab", "ab"), 0);

    std::vector<std::string> parts{"old"};
    EXPECT_EQ(fnSplitToArray("  ", "\t", parts), 0);
    EXPECT_EQ(parts, std::vector<std::string>{"old"});
    EXPECT_EQ(fnSplitToArray("A\t\tB", "\t", parts), 3);
    EXPECT_EQ(parts, (std::vector<std::string>{"A", "", "B"}));

    std::vector<std::uint8_t> bytes(4, 0xEE);
    sbStrToByteArray("", bytes, 4, 1);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 0, 0, 0}));
    sbStrToByteArray("ｱ", bytes, 3, 2);
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0xB1, 32, 32, 0}));
    EXPECT_EQ(fnByteStrToText(std::string("\x8a\xbf\0junk", 7)), "漢");
    EXPECT_EQ(fnToLong("  "), 0);
    EXPECT_EQ(fnToLong("-42"), -42);
    EXPECT_FALSE(fnToLong("4x"));
}

// Found by fuzz/string_utils_fuzz.cpp: a number past 64-bit integers in a formatted field.
TEST(StringUtils, HugeNumbersAreFormattedWithoutOverflow) {
    std::string text = "99999999999999999999";
    EXPECT_FALSE(fnCheckNumText(text, "000", false, false));
    EXPECT_EQ(text, "100000000000000000000"); // the nearest double, in full: too long for the format
    EXPECT_EQ(formatNumber(-1e20, "0"), "-100000000000000000000");
}
