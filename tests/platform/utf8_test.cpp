#include "platform/utf8.h"
#include "platform/write_all.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pthread.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

namespace utf8 = platform::utf8;

namespace {

// The characters `next` cuts a text into.
std::vector<std::string> characters(std::string_view s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size(); i = utf8::next(s, i))
        out.emplace_back(s.substr(i, utf8::next(s, i) - i));
    return out;
}

} // namespace

TEST(Utf8, CutsTextIntoCharactersAndBytesThatAreNotUtf8) {
    using V = std::vector<std::string>;
    const struct {
        std::string text;
        V chars;
    } cases[] = {
        {"aｱ全😀", {"a", "ｱ", "全", "😀"}},
        {"\xE5\x85"
         "A",
         {"\xE5", "\x85", "A"}},                                // cut-off sequence: the ASCII byte stays its own
        {"\x80\xBF", {"\x80", "\xBF"}},                         // stray continuation bytes
        {"\xC0\xAF", {"\xC0", "\xAF"}},                         // overlong "/"
        {"\xED\xA0\x80", {"\xED", "\xA0", "\x80"}},             // a surrogate
        {"\xF4\x90\x80\x80", {"\xF4", "\x90", "\x80", "\x80"}}, // beyond U+10FFFF
        {"\xF5\x80\x80", {"\xF5", "\x80", "\x80"}},
        {"\xF0\x9F\x98", {"\xF0", "\x9F", "\x98"}}, // text ends inside a sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(characters(c.text), c.chars) << c.text;
        EXPECT_EQ(utf8::isValid(c.text), c.chars.size() == 1 || c.text == "aｱ全😀") << c.text;
    }
    EXPECT_TRUE(utf8::isValid("\xF4\x8F\xBF\xBF")); // U+10FFFF, the last one
    char32_t cp = 0;
    EXPECT_EQ(utf8::decode("x😀", 1, cp), 4u);
    EXPECT_EQ(cp, U'😀');
    EXPECT_EQ(utf8::offsetOf("全角ab", 3), 7u);
    EXPECT_EQ(utf8::offsetOf("全角", 5), 6u);
}

// A signal that interrupts a write to a full pipe makes it return early (a short write) or fail
// with EINTR; either way every byte must still arrive, in order.
TEST(WriteAll, GoesOnAfterSignalsAndShortWrites) {
    struct sigaction action {
    }, previous{};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: the interrupted write returns
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);

    std::string sent(4 << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i)
        sent[i] = char(i * 7 + i / 4099);
    std::string received;
    sigset_t alarm;
    sigemptyset(&alarm);
    sigaddset(&alarm, SIGALRM);
    std::thread reader([&] {
        pthread_sigmask(SIG_BLOCK, &alarm, nullptr); // the signals go to the writing thread
        char buf[8192];
        for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) {
            received.append(buf, std::size_t(n));
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        }
    });
    itimerval every{{0, 200}, {0, 200}};
    setitimer(ITIMER_REAL, &every, nullptr);
    const bool ok = platform::writeAll(fds[1], sent);
    itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    ::close(fds[1]);
    reader.join();
    ::close(fds[0]);
    sigaction(SIGALRM, &previous, nullptr);

    EXPECT_TRUE(ok);
    EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes";
}
