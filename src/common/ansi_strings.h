#pragma once
// Texts measured, cut and searched in their code page 932 form, where a full-width character
// takes two bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// Splits at a one-character separator, keeping empty parts; a blank text gives 0 and leaves
// `parts` as it was.
std::int16_t fnSplitToArray(std::string_view text, std::string_view separator, std::vector<std::string>& parts);

std::int32_t fnLenAnsi(std::string_view text);
std::string fnCutAtNull(std::string_view text);
// 1-based byte position of `search` in `text` from byte `start`; 0 when not found.
std::int16_t fnInStrAnsi(std::int32_t start, std::string_view text, std::string_view search);
std::int16_t fnInStrAnsi(std::string_view text, std::string_view search);
std::string fnLeftAnsi(std::string_view text, std::int32_t bytes);
std::string fnMidAnsi(std::string_view text, std::int32_t start, std::optional<std::int32_t> bytes = std::nullopt);
std::string fnRightAnsi(std::string_view text, std::int32_t bytes);

// Copies the text's code page bytes into `bytes` (already sized); with a pad mode the rest up to
// `size` is filled with 0 (mode 1) or blanks (other modes).
void sbStrToByteArray(std::string_view text, std::vector<std::uint8_t>& bytes, std::int16_t size, std::int16_t padMode);
// Decodes code page bytes and cuts at the first NUL.
std::string fnByteStrToText(std::string_view bytes);
// 0 for a blank text; nullopt when the text is no 32-bit integer.
std::optional<std::int32_t> fnToLong(std::string_view text);

} // namespace common
