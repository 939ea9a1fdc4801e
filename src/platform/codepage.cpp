#include "platform/codepage.h"

#include "platform/utf8.h"

#include <algorithm>
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

// What one "?" stands for when a character has no code page 932 form: the whole character, or
// a single byte that is not UTF-8.
std::size_t unconvertibleLength(std::string_view rest) {
    return std::max<std::size_t>(1, utf8::validLength(rest, 0));
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
    toCp932Converter().convert(utf8, out, unconvertibleLength);
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
    return utf8::isValid(s);
}

} // namespace platform
