#include "secrets.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Secrets, EncodingsAndHashesMatchTheirStandardVectors) {
    const struct {
        std::string got, expected;
    } cases[] = {
        {site::toBase64Url(""), ""},
        {site::toBase64Url("f"), "Zg"},
        {site::toBase64Url("fo"), "Zm8"},
        {site::toBase64Url("foobar"), "Zm9vYmFy"},
        {site::toBase64Url("\xfb\xff"), "-_8"},
        {site::toHex(std::string("\x00\x7f\xff", 3)), "007fff"},
        {site::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {site::toHex(site::pbkdf2Sha256("password", "salt", 1)),
         "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
        {site::toHex(site::pbkdf2Sha256("password", "salt", 2)),
         "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(Secrets, SecretsCarry256BitsShotIds128AndNearMissesAreRefused) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string secret = site::newSecret(), id = site::newShotId();
        EXPECT_TRUE(site::looksLikeSecret(secret) && secret.size() == 43) << secret;
        EXPECT_TRUE(site::isShotId(id) && id.size() == 32) << id;
        EXPECT_TRUE(seen.insert(secret).second && seen.insert(id).second);
    }
    const std::string id = site::newShotId(), secret = site::newSecret();
    for (const std::string& bad : {id.substr(1), id + "0", "ABCDEF" + id.substr(6), "../" + id.substr(3)})
        EXPECT_FALSE(site::isShotId(bad)) << bad;
    for (const std::string& bad : {secret + "A", secret.substr(0, 42) + "=", secret.substr(0, 42) + " "})
        EXPECT_FALSE(site::looksLikeSecret(bad)) << bad;
}

TEST(Secrets, ComparisonIsExact) {
    EXPECT_TRUE(site::constantTimeEqual("same", "same"));
    EXPECT_FALSE(site::constantTimeEqual("same", "sane"));
    EXPECT_FALSE(site::constantTimeEqual("same", "same "));
    EXPECT_FALSE(site::constantTimeEqual("", "x"));
}

TEST(Secrets, RandomTextUsesEveryCharacterOfItsAlphabetAndNothingElse) {
    std::set<char> seen;
    for (int i = 0; i < 100; ++i) {
        for (char c : site::randomText("abc", 30)) seen.insert(c);
    }
    EXPECT_EQ(seen, (std::set<char>{'a', 'b', 'c'}));
}

}  // namespace
