#include "platform/codepage.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <stdexcept>

namespace platform {
namespace {

// One conversion direction, opened once per thread (iconv descriptors are not thread-safe).
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in`; each sequence that cannot be converted is replaced by "?" and skipped by
    // `skip(rest)` bytes. Returns the number of replacements.
    template <typename Skip> std::size_t convert(std::string_view in, std::string& out, Skip skip) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.clear();
        out.reserve(in.size() * 2 + 4);
        std::size_t replaced = 0;
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char buf[4096];
        while (srcLeft > 0) {
            char* dst = buf;
            std::size_t dstLeft = sizeof buf;
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf, std::size_t(dst - buf));
            if (r != std::size_t(-1))
                continue;
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
            const std::size_t n = std::min(srcLeft, std::max<std::size_t>(1, skip(std::string_view(src, srcLeft))));
            out.push_back('?');
            ++replaced;
            src += n;
            srcLeft -= n;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return replaced;
    }

private:
    iconv_t cd_;
};

// Length of the UTF-8 sequence that starts `s` when it is well formed, else 1.
std::size_t utf8SequenceLength(std::string_view s) {
    const auto c = static_cast<unsigned char>(s[0]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || n > s.size())
        return 1;
    for (std::size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            return 1;
    return n;
}

Converter& toCp932Converter() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

Converter& fromCp932Converter() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

std::size_t decode(std::string_view cp932, std::string& out) {
    return fromCp932Converter().convert(cp932, out, [](std::string_view) { return std::size_t(1); });
}

} // namespace

std::string toCp932(std::string_view utf8) {
    std::string out;
    toCp932Converter().convert(utf8, out, utf8SequenceLength);
    return out;
}

std::string fromCp932(std::string_view cp932) {
    std::string out;
    decode(cp932, out);
    return out;
}

bool isValidCp932(std::string_view cp932) {
    std::string out;
    return decode(cp932, out) == 0;
}

bool roundTripsCp932(std::string_view utf8) {
    return isValidUtf8(utf8) && fromCp932(toCp932(utf8)) == utf8;
}

std::size_t cp932Length(std::string_view utf8) {
    return toCp932(utf8).size();
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = utf8SequenceLength(s.substr(i));
        if (n == 1 && c >= 0x80)
            return false;
        if (n > 1) {
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            if ((n == 2 && c < 0xC2) || (n == 3 && c == 0xE0 && c1 < 0xA0) || (n == 3 && c == 0xED && c1 >= 0xA0) ||
                (n == 4 && c == 0xF0 && c1 < 0x90) || (n == 4 && (c > 0xF4 || (c == 0xF4 && c1 >= 0x90))))
                return false;
        }
        i += n;
    }
    return true;
}

} // namespace platform
