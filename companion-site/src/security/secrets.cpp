#include "security/secrets.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <algorithm>
#include <stdexcept>

namespace site {
namespace {

constexpr std::size_t kSecretBytes = 32;
constexpr std::size_t kSecretChars = 43;  // base64url of 32 bytes
constexpr std::size_t kShotIdBytes = 16;

bool isBase64UrlChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

}  // namespace

std::string randomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    if (count > 0 && RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1)
        throw std::runtime_error("random generator failed");
    return bytes;
}

std::string randomText(std::string_view alphabet, std::size_t length) {
    // Bytes at or above the largest multiple of the alphabet size are
    // dropped, so every character is equally likely.
    const unsigned limit = 256 - 256 % alphabet.size();
    std::string text;
    while (text.size() < length) {
        for (unsigned char b : randomBytes(2 * length)) {
            if (b < limit && text.size() < length) text.push_back(alphabet[b % alphabet.size()]);
        }
    }
    return text;
}

std::string toHex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 15]);
    }
    return text;
}

std::string toBase64Url(std::string_view bytes) {
    static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string text;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (unsigned char b : bytes) {
        buffer = (buffer << 8) | b;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            text.push_back(digits[(buffer >> bits) & 63]);
        }
    }
    if (bits > 0) text.push_back(digits[(buffer << (6 - bits)) & 63]);
    return text;
}

std::string sha256Hex(std::string_view data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return toHex(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

std::string pbkdf2Sha256(std::string_view password, std::string_view salt, int iterations) {
    std::string key(32, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()),
                          iterations, EVP_sha256(), static_cast<int>(key.size()),
                          reinterpret_cast<unsigned char*>(key.data())) != 1)
        throw std::runtime_error("password hashing failed");
    return key;
}

bool constantTimeEqual(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

std::string newSecret() {
    return toBase64Url(randomBytes(kSecretBytes));
}

bool looksLikeSecret(std::string_view text) {
    return text.size() == kSecretChars && std::all_of(text.begin(), text.end(), isBase64UrlChar);
}

std::string newShotId() {
    return toHex(randomBytes(kShotIdBytes));
}

bool isShotId(std::string_view text) {
    return text.size() == kShotIdBytes * 2 &&
           std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace site
