// The settings dialog's string routines on any text a field can hold.

#include "common/string_utils.h"
#include "fuzz_check.h"
#include "platform/codepage.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

void checks(const std::string& text, FuzzedDataProvider& in) {
    const std::string format = in.ConsumeRandomLengthString(6);
    if (!platform::isValidUtf8(format)) {
        return;
    }
    const bool noZero = in.ConsumeBool(), noNegative = in.ConsumeBool();
    std::string value = text;
    if (common::fnCheckNumText(value, format, noZero, noNegative)) {
        FUZZ_CHECK(!noNegative || value.empty() || value[0] != '-');
    }
    FUZZ_CHECK(platform::isValidUtf8(value));
    value = text;
    (void)common::fnCheckNumBox(value, format, in.ConsumeBool() ? "0" : "", noZero, noNegative);
    FUZZ_CHECK(platform::isValidUtf8(value));
    value = text;
    const bool numericLimit = in.ConsumeBool();
    const std::string limit = numericLimit ? std::to_string(in.ConsumeIntegralInRange(0, 300)) : format;
    if (common::fnCheckInputText(value, limit, in.ConsumeIntegralInRange<std::int16_t>(0, 9),
                                 in.ConsumeIntegralInRange<std::int16_t>(0, 5), in.ConsumeBool()) &&
        numericLimit) {
        FUZZ_CHECK(common::fnByteCount(value) <= std::stoi(limit));
    }
    FUZZ_CHECK(platform::isValidUtf8(value));
}

void conversions(const std::string& text, FuzzedDataProvider& in) {
    const std::int16_t mode = in.ConsumeIntegralInRange<std::int16_t>(0, 3);
    FUZZ_CHECK(platform::isValidUtf8(common::fnToHalfWidth(text, mode)));
    FUZZ_CHECK(common::fnByteCount(text) >= 0 || text.size() > 32767);
    (void)common::fnVal(text);
    (void)common::formatNumber(in.ConsumeFloatingPoint<double>(), in.ConsumeRandomLengthString(8));
    const std::int32_t base = in.ConsumeIntegralInRange(2, 36);
    const std::int32_t value = in.ConsumeIntegralInRange(0, 1 << 20);
    const std::string digits = common::fnToBaseText(base, value);
    FUZZ_CHECK(common::fnFromBaseText(base, digits) == value);
    // Digit texts come from the dialog's check boxes, so only their own alphabet is tried.
    std::string bits = in.ConsumeRandomLengthString(16);
    for (char& c : bits) {
        c = static_cast<char>('0' + (c & 1));
    }
    (void)common::fnConvertBase(2, 10, bits);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string text = in.ConsumeRandomLengthString(64);
    if (!platform::isValidUtf8(text)) { // field texts come from Qt or a decoded INI: always UTF-8
        return 0;
    }
    conversions(text, in);
    checks(text, in);
    return 0;
}
