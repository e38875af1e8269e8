#include "secrets.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(Secrets, EncodingsMatchTheirStandardVectors) {
    EXPECT_EQ(site::toBase64Url(""), "");
    EXPECT_EQ(site::toBase64Url("f"), "Zg");
    EXPECT_EQ(site::toBase64Url("fo"), "Zm8");
    EXPECT_EQ(site::toBase64Url("foobar"), "Zm9vYmFy");
    EXPECT_EQ(site::toBase64Url("\xfb\xff"), "-_8");
    EXPECT_EQ(site::toHex(std::string("\x00\x7f\xff", 3)), "007fff");
    EXPECT_EQ(site::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Secrets, PasswordHashMatchesKnownVectorAndDependsOnEveryInput) {
    EXPECT_EQ(site::toHex(site::pbkdf2Sha256("password", "salt", 1)),
              "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b");
    EXPECT_EQ(site::toHex(site::pbkdf2Sha256("password", "salt", 2)),
              "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
    EXPECT_NE(site::pbkdf2Sha256("password", "salt2", 1), site::pbkdf2Sha256("password", "salt", 1));
}

TEST(Secrets, SecretsCarry256BitsAndShotIds128) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string secret = site::newSecret();
        EXPECT_TRUE(site::looksLikeSecret(secret)) << secret;
        EXPECT_TRUE(seen.insert(secret).second);
        const std::string id = site::newShotId();
        EXPECT_TRUE(site::isShotId(id)) << id;
        EXPECT_TRUE(seen.insert(id).second);
    }
    EXPECT_EQ(site::newSecret().size(), 43u);
    EXPECT_EQ(site::newShotId().size(), 32u);
}

TEST(Secrets, ShapeChecksRefuseNearMisses) {
    const std::string id = site::newShotId();
    EXPECT_FALSE(site::isShotId(id.substr(1)));
    EXPECT_FALSE(site::isShotId(id + "0"));
    EXPECT_FALSE(site::isShotId("ABCDEF" + id.substr(6)));
    EXPECT_FALSE(site::isShotId("../" + id.substr(3)));
    const std::string secret = site::newSecret();
    EXPECT_FALSE(site::looksLikeSecret(secret + "A"));
    EXPECT_FALSE(site::looksLikeSecret(secret.substr(0, 42) + "="));
    EXPECT_FALSE(site::looksLikeSecret(secret.substr(0, 42) + " "));
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
