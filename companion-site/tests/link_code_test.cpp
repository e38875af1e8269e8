#include "link_code.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(LinkCode, AlphabetHasNoLookAlikes) {
    for (char c : std::string_view("0O1IL2Z5S8B6GUVQ")) EXPECT_EQ(site::kLinkCodeAlphabet.find(c), std::string::npos) << c;
    EXPECT_EQ(std::set<char>(site::kLinkCodeAlphabet.begin(), site::kLinkCodeAlphabet.end()).size(),
              site::kLinkCodeAlphabet.size());
}

TEST(LinkCode, NewCodesAreShortValidAndVaried) {
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string code = site::newLinkCode();
        ASSERT_EQ(code.size(), site::kLinkCodeLength);
        EXPECT_EQ(site::normalizeLinkCode(code), code);
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 495u);
}

TEST(LinkCode, TypedFormsFoldToTheCode) {
    EXPECT_EQ(site::formatLinkCode("ACDE3479"), "ACDE-3479");
    EXPECT_EQ(site::normalizeLinkCode("ACDE-3479"), "ACDE3479");
    EXPECT_EQ(site::normalizeLinkCode(" acde 3479 "), "ACDE3479");
    EXPECT_EQ(site::normalizeLinkCode("a-c-d-e-3-4-7-9"), "ACDE3479");
}

TEST(LinkCode, ImpossibleCodesAreRefused) {
    EXPECT_EQ(site::normalizeLinkCode(""), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode("ACDE347"), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode("ACDE34799"), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode("ACDE347O"), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode("ACDE3470"), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode("ACDE34\xd0\x90" "9"), std::nullopt);
    EXPECT_EQ(site::normalizeLinkCode(std::string("ACDE\0" "3479", 9)), std::nullopt);
}

}  // namespace
