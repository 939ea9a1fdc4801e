#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/datetime.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CodePage, RoundTripsKanjiAndBothKanaWidths) {
    const std::string text = "全角カナ ﾊﾝｶｸｶﾅ 漢字　ＡＢＣ\\~";
    const std::string bytes = toCp932(text);
    EXPECT_EQ(bytes.size(), 4 * 2 + 1 + 6 + 1 + 2 * 2 + 2 + 3 * 2 + 2u);
    EXPECT_EQ(fromCp932(bytes), text);
    EXPECT_TRUE(isValidCp932(bytes));
    EXPECT_EQ(cp932Length("ｱ全"), 3u);
}

TEST(CodePage, ReplacesWhatCannotBeConverted) {
    EXPECT_EQ(toCp932("a😀b"), "a?b");
    EXPECT_EQ(toCp932("a\xFF"
                      "b"),
              "a?b");                    // not UTF-8
    EXPECT_EQ(fromCp932("a\x81"), "a?"); // lead byte cut off at the end
    EXPECT_EQ(fromCp932("\xA0x"), "?x"); // not a code page 932 byte
    EXPECT_FALSE(isValidCp932("\x82\x20"));
}

// Characters the code page stores under the code of another one, or not at all: a name holding
// one of them is read back as a different name.
TEST(CodePage, TellsWhichTextsComeBackUnchanged) {
    for (const char* kept : {"", "/srv/バックアップ～日次", "ﾊﾞｯｸｱｯﾌﾟ－∥―￠￡￢", "a\\b~c", "DB_01"})
        EXPECT_TRUE(roundTripsCp932(kept)) << kept;
    for (const char* lost : {"バックアップ〜日次", "a−b", "a‖b", "a—b", "¢", "£", "¬", "¥", "‾", "😀", "é", "?\xFF"})
        EXPECT_FALSE(roundTripsCp932(lost)) << lost;
}

TEST(DateTime, FormatsAndParsesTheProgramsTexts) {
    const auto t = makeLocalTime(2026, 12, 3, 2, 5, 9);
    EXPECT_EQ(formatDateTime(t), "2026/12/03 02:05:09");
    EXPECT_EQ(formatYmdHms(t), "20261203020509");
    EXPECT_EQ(formatYmd(t), "20261203");
    EXPECT_EQ(formatHm(t), "02:05");
    EXPECT_EQ(parseDateTime("2026/12/03 02:05:09"), t);
    EXPECT_EQ(parseDateTime("2026/2/3 2:05"), makeLocalTime(2026, 2, 3, 2, 5));
    for (const char* bad : {"2026/13/03 00:00:00", "2026/02/30 00:00:00", "2026/12/03 24:00:00", "2026/12/03",
                            "2026/12/03 02:00:00x", ""})
        EXPECT_FALSE(parseDateTime(bad)) << bad;
    EXPECT_EQ(weekdaySunday1(makeLocalTime(2026, 12, 6)), 1); // a Sunday
    EXPECT_EQ(weekdaySunday1(makeLocalTime(2026, 12, 5)), 7);
    EXPECT_EQ(toLocal(fromLocal(t)), t);
}

TEST(Clock, OffsetClockStartsAtTheGivenInstant) {
    const auto start = makeLocalTime(2026, 12, 3, 3, 0, 0);
    OffsetClock clock(start);
    EXPECT_GE(clock.now(), start);
    EXPECT_LT(clock.now(), start + std::chrono::seconds(5));
}
