#include "common/password.h"

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/write_all.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace common {
namespace {

constexpr std::string_view kPrefix = "ENCRT1:";
using Key = std::array<unsigned char, crypto_secretbox_KEYBYTES>;

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<Key> readKey(const std::filesystem::path& keyFile) {
    const int fd = ::open(keyFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    // A read may return less than asked (a signal, a network or FUSE file system): the key is
    // read to its end, and it must end exactly after its last byte.
    Key key{};
    std::size_t got = 0;
    while (got < key.size()) {
        const ssize_t n = ::read(fd, key.data() + got, key.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += std::size_t(n);
    }
    unsigned char extra = 0;
    ssize_t more = 0;
    do
        more = ::read(fd, &extra, 1);
    while (more < 0 && errno == EINTR);
    ::close(fd);
    if (got != key.size() || more != 0)
        return std::nullopt;
    return key;
}

// Deciphers a stored text; nullopt for a damaged text or a wrong key.
std::optional<std::string> decipher(const Key& key, std::string_view stored) {
    if (stored.substr(0, kPrefix.size()) != kPrefix)
        return std::nullopt;
    const std::string b64(stored.substr(kPrefix.size()));
    std::vector<unsigned char> raw(b64.size());
    std::size_t rawLength = 0;
    if (sodium_base642bin(raw.data(), raw.size(), b64.c_str(), b64.size(), nullptr, &rawLength, nullptr,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        rawLength < crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES)
        return std::nullopt;
    const unsigned char* nonce = raw.data();
    const unsigned char* box = raw.data() + crypto_secretbox_NONCEBYTES;
    const std::size_t boxLength = rawLength - crypto_secretbox_NONCEBYTES;
    std::string plain(boxLength - crypto_secretbox_MACBYTES, '\0');
    if (crypto_secretbox_open_easy(reinterpret_cast<unsigned char*>(plain.data()), box, boxLength, nonce, key.data()) !=
        0)
        return std::nullopt;
    return plain;
}

} // namespace

std::filesystem::path passwordKeyPath(const std::filesystem::path& settingsDir) {
    return platform::findFileNoCase(settingsDir, kPasswordKeyName);
}

std::error_code ensurePasswordKey(const std::filesystem::path& keyFile) {
    if (!sodiumReady())
        return std::make_error_code(std::errc::not_supported);
    const int fd = ::open(keyFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? std::error_code() : std::error_code(errno, std::generic_category());
    Key key{};
    randombytes_buf(key.data(), key.size());
    const bool ok = platform::writeAll(fd, std::string_view(reinterpret_cast<const char*>(key.data()), key.size())) &&
                    ::fsync(fd) == 0;
    sodium_memzero(key.data(), key.size());
    ::close(fd);
    if (!ok) {
        ::unlink(keyFile.c_str());
        return std::make_error_code(std::errc::io_error);
    }
    return {};
}

std::string passwordRefusal(std::string_view password) {
    if (password.empty())
        return "the password is empty";
    if (password.find("};") != std::string_view::npos)
        return "the password holds \"};\", which an ODBC connection string cannot carry";
    if (platform::fromCp932(platform::toCp932(password)) != password)
        return "the password holds a character that code page 932 cannot represent";
    return {};
}

std::optional<std::string> encipherPassword(const std::filesystem::path& keyFile, std::string_view password) {
    if (!sodiumReady())
        return std::nullopt;
    auto key = readKey(keyFile);
    if (!key)
        return std::nullopt;
    std::string plain = platform::toCp932(password);
    std::vector<unsigned char> raw(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size());
    randombytes_buf(raw.data(), crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(raw.data() + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(plain.data()), plain.size(), raw.data(), key->data());
    sodium_memzero(key->data(), key->size());
    wipe(plain);
    std::string b64(sodium_base64_encoded_len(raw.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(b64.data(), b64.size(), raw.data(), raw.size(), sodium_base64_VARIANT_ORIGINAL);
    b64.resize(b64.find('\0'));
    return std::string(kPrefix) + b64;
}

int fnQRCom_Password_Decrypt(const std::filesystem::path& keyFile, const unsigned char* input, unsigned char* output,
                             std::size_t size) {
    if (size == 0 || !sodiumReady())
        return -1;
    auto key = readKey(keyFile);
    if (!key)
        return -1;
    const std::string_view stored(reinterpret_cast<const char*>(input), size - 1);
    auto plain = decipher(*key, stored.substr(0, stored.find('\0')));
    sodium_memzero(key->data(), key->size());
    // A password holding a zero byte could not be read back whole; refuse it like a damaged text.
    if (!plain || plain->size() >= size || plain->find('\0') != std::string::npos) {
        if (plain)
            wipe(*plain);
        return -1;
    }
    std::copy(plain->begin(), plain->end(), output);
    sodium_memzero(plain->data(), plain->size());
    return 0;
}

std::string fnDecryptPassword(const std::filesystem::path& settingsDir, std::string_view text) {
    if (text.empty())
        return {};
    const std::string input = platform::toCp932(text);
    std::vector<unsigned char> in(input.begin(), input.end());
    in.push_back(0);
    std::vector<unsigned char> out(in.size(), 0);
    fnQRCom_Password_Decrypt(passwordKeyPath(settingsDir), in.data(), out.data(), out.size());
    std::string bytes(reinterpret_cast<const char*>(out.data()));
    sodium_memzero(out.data(), out.size());
    std::string password = platform::fromCp932(bytes);
    wipe(bytes);
    return password;
}

void wipe(std::string& text) {
    sodium_memzero(text.data(), text.capacity());
    text.clear();
}

void wipe(std::u16string& text) {
    sodium_memzero(text.data(), text.capacity() * sizeof(char16_t));
    text.clear();
}

} // namespace common
