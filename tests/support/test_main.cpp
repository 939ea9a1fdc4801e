// The main of every test executable: a fixed environment before anything reads it. Japan's time
// zone has no daylight saving, so calendar arithmetic in tests is exact; widgets need no display;
// temporary folders go to a fixed disk in the build tree.

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

// GCC 12's sanitizer runtime takes a dynamic TLS block that happens to begin 16 bytes into a
// page for the header of a glibc older than 2.25 and reads a bogus range from before it; the
// LeakSanitizer tracer then dies at exit with "Tracer caught signal 11". Whether it happens
// depends only on where malloc put the block (the FreeTDS driver, loaded by dlopen, has such
// blocks), so adding a test to a binary could start it. Without the interception of
// __tls_get_addr the block is never misread; ASAN_OPTIONS still sets everything else, this too.
extern "C" const char* __asan_default_options();
extern "C" const char* __asan_default_options() {
    return "intercept_tls_get_addr=0";
}

int main(int argc, char** argv) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("TMPDIR", ENCRT_TEST_TMPDIR, 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
