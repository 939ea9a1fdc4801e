// The INI reader and writer on any file content: reading never fails on it, and a written
// key reads back as written while the file stays readable.

#include "fuzz_check.h"
#include "platform/codepage.h"
#include "platform/profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

namespace {

const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "encrt-fuzz-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            std::abort();
        }
        std::atexit([] { std::filesystem::remove_all(folder()); });
        return std::filesystem::path(tmpl);
    }();
    return path;
}

// A name or value the program itself writes: letters, digits and a few marks, no blanks at the
// ends (the reader trims them), no quotes (the reader takes quoted values apart).
std::string plain(FuzzedDataProvider& in, std::size_t max, bool allowEmpty) {
    static constexpr char kAlphabet[] = "ABCxyz019_-.:\\/ ()";
    std::string out;
    const std::size_t n = in.ConsumeIntegralInRange<std::size_t>(allowEmpty ? 0 : 1, max);
    for (std::size_t i = 0; i < n; ++i) {
        out += kAlphabet[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kAlphabet - 2)];
    }
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    while (!out.empty() && out.front() == ' ') {
        out.erase(0, 1);
    }
    return out.empty() && !allowEmpty ? "K" : out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = plain(in, 8, false), key = plain(in, 8, false), value = plain(in, 40, true);
    const std::size_t buffer = in.ConsumeIntegralInRange<std::size_t>(1, 300);
    const std::string content = in.ConsumeRemainingBytesAsString();
    const auto file = folder() / "FUZZ.INI";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    const std::string before = platform::profileRead(file, section, key, "default", buffer);
    FUZZ_CHECK(platform::isValidUtf8(before));
    FUZZ_CHECK(before.size() <= std::max<std::size_t>(buffer, 7) * 3);
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) {
        return 0; // names the format cannot hold
    }
    FUZZ_CHECK(!platform::profileWrite(file, section, key, value));
    FUZZ_CHECK(platform::profileRead(file, section, key, "default", 4096) == value);
    return 0;
}
