#pragma once
// The stored database password: enciphered with a secret key kept beside the settings (libsodium
// secretbox), stored as "ENCRT1:" + Base64(nonce + box). Deciphering goes through the call shape
// of the password library: input bytes ending in a zero byte, an output buffer of the same size,
// the result read up to its first zero byte. A wrong key or a damaged text gives "", never
// garbage.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace common {

inline constexpr std::string_view kPasswordKeyName = "MSDE_DBTOOL.key";

// The key file in the settings folder (found without regard to case).
std::filesystem::path passwordKeyPath(const std::filesystem::path& settingsDir);

// Creates a new random key with mode 0600 when the file is missing; an existing key is kept.
std::error_code ensurePasswordKey(const std::filesystem::path& keyFile);

// Why a password cannot be stored for the program's login, or "" when it can: it is empty, holds
// "};" (the FreeTDS driver reads a braced value of the connection string up to the first "};"
// and undoes no quoting), or holds a character code page 932 cannot represent (it would be
// stored as "?" and every login would fail later with nothing to say why).
std::string passwordRefusal(std::string_view password);

// The text to store under [(local)] PASSWORD; nullopt when the key cannot be read.
std::optional<std::string> encipherPassword(const std::filesystem::path& keyFile, std::string_view password);

// Deciphers `input` (size bytes, the last one zero) into `output` (size bytes, zero-filled by
// the caller). Returns 0 on success, -1 otherwise (output left all zero).
int fnQRCom_Password_Decrypt(const std::filesystem::path& keyFile, const unsigned char* input, unsigned char* output,
                             std::size_t size);

// The stored text of the settings folder's PASSWORD key, deciphered; "" for an empty text.
std::string fnDecryptPassword(const std::filesystem::path& settingsDir, std::string_view text);

// Overwrites every byte the text owns (its whole capacity) and empties it: for passwords and the
// connection strings that carry them, as soon as they are no longer needed, so that a core file
// or a swapped-out page holds as few copies as possible.
void wipe(std::string& text);
void wipe(std::u16string& text);

} // namespace common
