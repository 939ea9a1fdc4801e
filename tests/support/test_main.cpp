// The main of every test executable: a fixed environment before anything reads it. Japan's time
// zone has no daylight saving, so calendar arithmetic in tests is exact; widgets need no display;
// temporary folders go to a fixed disk in the build tree.

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TMPDIR", ENCRT_TEST_TMPDIR, 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
