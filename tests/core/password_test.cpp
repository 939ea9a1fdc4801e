#include "common/password.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace common;

TEST(Password, RoundTripsThroughTheKeyBesideTheSettings) {
    testsupport::TempDir dir;
    const auto key = passwordKeyPath(dir.path());
    ASSERT_FALSE(ensurePasswordKey(key));
    struct stat st {};
    ASSERT_EQ(::stat(key.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    for (const std::string password : {"s3cret;}{", "パスワード", "x"}) {
        const auto stored = encipherPassword(key, password);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->rfind("ENCRT1:", 0), 0u);
        EXPECT_EQ(fnDecryptPassword(dir.path(), *stored), password);
    }
    const std::string first = testsupport::readFile(key);
    ASSERT_FALSE(ensurePasswordKey(key)); // an existing key is kept
    EXPECT_EQ(testsupport::readFile(key), first);
}

TEST(Password, DamagedTextsAndWrongKeysGiveNothing) {
    testsupport::TempDir dir, other;
    ASSERT_FALSE(ensurePasswordKey(passwordKeyPath(dir.path())));
    ASSERT_FALSE(ensurePasswordKey(passwordKeyPath(other.path())));
    const std::string stored = *encipherPassword(passwordKeyPath(dir.path()), "secret");

    EXPECT_EQ(fnDecryptPassword(other.path(), stored), "");
    std::string damaged = stored;
    damaged[damaged.size() / 2] = damaged[damaged.size() / 2] == 'A' ? 'B' : 'A';
    EXPECT_EQ(fnDecryptPassword(dir.path(), damaged), "");
    EXPECT_EQ(fnDecryptPassword(dir.path(), "secret"), ""); // a plain text is no stored password
    EXPECT_EQ(fnDecryptPassword(dir.path(), ""), "");
    testsupport::TempDir empty;
    EXPECT_EQ(fnDecryptPassword(empty.path(), stored), ""); // no key file at all
}
