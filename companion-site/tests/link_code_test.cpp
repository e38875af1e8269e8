#include "link_code.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

TEST(LinkCode, NewCodesAreEightVariedLettersWithoutLookAlikes) {
    for (char c : std::string_view("0O1IL2Z5S8B6GUVQ")) EXPECT_EQ(site::kLinkCodeAlphabet.find(c), std::string::npos) << c;
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string code = site::newLinkCode();
        ASSERT_EQ(code.size(), 8u);
        EXPECT_EQ(site::normalizeLinkCode(code), code);
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 495u);
    EXPECT_EQ(site::formatLinkCode("ACDE3479"), "ACDE-3479");
}

TEST(LinkCode, TypedFormsFoldToTheCodeAndImpossibleOnesAreRefused) {
    const struct {
        std::string typed;
        std::optional<std::string> code;
    } cases[] = {
        {"ACDE-3479", "ACDE3479"},
        {" acde 3479 ", "ACDE3479"},
        {"a-c-d-e-3-4-7-9", "ACDE3479"},
        {"mnpr-twxy", "MNPRTWXY"},
        {"", std::nullopt},
        {"ACDE347", std::nullopt},
        {"ACDE34799", std::nullopt},
        {"ACDE347O", std::nullopt},
        {"ACDE3470", std::nullopt},
        {"ACDE34\xd0\x90" "9", std::nullopt},
        {std::string("ACDE\0" "3479", 9), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(site::normalizeLinkCode(c.typed), c.code) << c.typed;
}

}  // namespace
