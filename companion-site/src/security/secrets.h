#pragma once
// Random secrets and the hashes under which they are stored.

#include <string>
#include <string_view>

namespace site {

// Cryptographically strong random bytes; throws when the generator fails.
std::string randomBytes(std::size_t count);

// `length` characters, each drawn uniformly from `alphabet` (at most 256).
std::string randomText(std::string_view alphabet, std::size_t length);

std::string toHex(std::string_view bytes);
std::string toBase64Url(std::string_view bytes);  // no padding

std::string sha256Hex(std::string_view data);
std::string pbkdf2Sha256(std::string_view password, std::string_view salt, int iterations);
bool constantTimeEqual(std::string_view a, std::string_view b);

// Access tokens, session cookies and form tokens: 256 random bits.
std::string newSecret();
bool looksLikeSecret(std::string_view text);

// Shot identifiers: 128 random bits as 32 lowercase hex digits.
std::string newShotId();
bool isShotId(std::string_view text);

}  // namespace site
