// Code page 932 conversion and the byte-position routines on any bytes and any text.

#include "common/ansi_strings.h"
#include "fuzz_check.h"
#include "platform/codepage.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// Bytes read as code page 932 always give valid UTF-8 (what cannot be decoded becomes a
// replacement), so that nothing downstream meets broken text.
void decoding(const std::string& bytes) {
    const std::string text = platform::fromCp932(bytes);
    FUZZ_CHECK(platform::isValidUtf8(text));
    FUZZ_CHECK(platform::isValidUtf8(common::fnByteStrToText(bytes)));
    if (platform::isValidCp932(bytes)) {
        FUZZ_CHECK(platform::cp932Length(text) == platform::toCp932(text).size());
    }
}

void byte_routines(const std::string& text, FuzzedDataProvider& in) {
    const std::int32_t length = common::fnLenAnsi(text);
    FUZZ_CHECK(length == static_cast<std::int32_t>(platform::toCp932(text).size()));
    const std::int32_t n = in.ConsumeIntegralInRange<std::int32_t>(-2, length + 2);
    FUZZ_CHECK(platform::isValidUtf8(common::fnLeftAnsi(text, n)));
    FUZZ_CHECK(platform::isValidUtf8(common::fnRightAnsi(text, n)));
    FUZZ_CHECK(platform::isValidUtf8(common::fnMidAnsi(text, n, in.ConsumeIntegralInRange<std::int32_t>(-2, 40))));
    FUZZ_CHECK(platform::isValidUtf8(common::fnMidAnsi(text, n)));
    const std::string search = in.ConsumeRandomLengthString(8);
    if (platform::isValidUtf8(search)) {
        const std::int16_t at = common::fnInStrAnsi(n, text, search);
        FUZZ_CHECK(at >= 0 && at <= length + 1);
        FUZZ_CHECK(common::fnInStrAnsi(text, search) >= 0);
    }
    std::vector<std::string> parts;
    const std::string separator = in.ConsumeBytesAsString(1);
    const std::int16_t count = common::fnSplitToArray(text, separator, parts);
    FUZZ_CHECK(count >= 0);
    std::vector<std::uint8_t> buffer(in.ConsumeIntegralInRange<std::size_t>(0, 64));
    common::sbStrToByteArray(text, buffer, in.ConsumeIntegral<std::int16_t>(), in.ConsumeIntegral<std::int16_t>());
    (void)common::fnToLong(text);
    FUZZ_CHECK(platform::isValidUtf8(common::fnCutAtNull(text)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string bytes = in.ConsumeRandomLengthString(256);
    decoding(bytes);
    const std::string text = platform::isValidUtf8(bytes) ? bytes : platform::fromCp932(bytes);
    byte_routines(text, in);
    return 0;
}
