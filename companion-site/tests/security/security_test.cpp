// Secrets, link codes and the attempt table.

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "security/link_code.h"
#include "security/rate_limiter.h"
#include "security/secrets.h"

namespace {

TEST(RateLimiter, FullTableForgetsTheOldestWindow) {
    site::RateLimiter limiter(1, 60, 2);
    EXPECT_TRUE(limiter.allow("a", 0));
    EXPECT_TRUE(limiter.allow("b", 10));
    EXPECT_TRUE(limiter.allow("c", 20));   // a's window makes room
    EXPECT_FALSE(limiter.allow("b", 20));  // b's is kept
    EXPECT_TRUE(limiter.allow("a", 20));
}

// Encodings and hashes against their standard vectors; tokens and shot ids
// long, random and parsed exactly.
TEST(Secrets, StandardVectorsAndExactTokens) {
    EXPECT_EQ(site::toBase64Url("\xfb\xff"), "-_8");
    EXPECT_EQ(site::toHex(std::string("\x00\x7f\xff", 3)), "007fff");
    EXPECT_EQ(site::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(site::toHex(site::pbkdf2Sha256("password", "salt", 2)),
              "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string secret = site::newSecret(), id = site::newShotId();
        EXPECT_TRUE(site::looksLikeSecret(secret) && secret.size() == 43 && site::isShotId(id) && id.size() == 32);
        EXPECT_TRUE(seen.insert(secret).second && seen.insert(id).second);
    }
    const std::string id = site::newShotId(), secret = site::newSecret();
    for (const std::string& bad : {id.substr(1), id + "0", "ABCDEF" + id.substr(6), "../" + id.substr(3)})
        EXPECT_FALSE(site::isShotId(bad)) << bad;
    for (const std::string& bad : {secret + "A", secret.substr(0, 42) + "=", secret.substr(0, 42) + " "})
        EXPECT_FALSE(site::looksLikeSecret(bad)) << bad;
    EXPECT_FALSE(site::constantTimeEqual("same", "sane"));
    EXPECT_FALSE(site::constantTimeEqual("", "x"));
}

TEST(LinkCode, EightVariedLettersWithoutLookAlikesTypedInAnyForm) {
    for (char c : std::string_view("0O1IL2Z5S8B6GUVQ")) EXPECT_EQ(site::kLinkCodeAlphabet.find(c), std::string::npos) << c;
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string code = site::newLinkCode();
        EXPECT_EQ(site::normalizeLinkCode(code), code);  // eight letters of the alphabet
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 495u);
    EXPECT_EQ(site::formatLinkCode("ACDE3479"), "ACDE-3479");
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {" a-c-d-e 3479 ", "ACDE3479"}, {"mnpr-twxy", "MNPRTWXY"}, {"ACDE347", std::nullopt},
        {"ACDE34799", std::nullopt},    {"ACDE347O", std::nullopt}, {"ACDE34\xd0\x90" "9", std::nullopt},
        {std::string("ACDE\0" "3479", 9), std::nullopt},
    };
    for (const auto& [typed, code] : cases) EXPECT_EQ(site::normalizeLinkCode(typed), code) << typed;
}

}  // namespace
