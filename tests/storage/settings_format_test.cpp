#include <gtest/gtest.h>

#include "storage/json_depth.h"
#include "storage/settings_format.h"

using nlohmann::json;

namespace {

TEST(SettingsText, WrittenFormIsSortedTwoSpaceRawUtf8WithoutFinalLineEnd) {
    json doc = json::object();
    doc["token"] = tokenArray({7, 255});
    doc["server"] = "https://пример.example";
    doc["captures"] = {{"2026-03-01", 2}};
    doc["empty"] = json::object();
    doc["list"] = json::array();

    EXPECT_EQ(serializeSettings(doc),
              "{\n"
              "  \"captures\": {\n"
              "    \"2026-03-01\": 2\n"
              "  },\n"
              "  \"empty\": {},\n"
              "  \"list\": [],\n"
              "  \"server\": \"https://пример.example\",\n"
              "  \"token\": [\n"
              "    7,\n"
              "    255\n"
              "  ]\n"
              "}");
}

TEST(SettingsText, UnknownMembersAndForeignTokenSurviveARoundTripByteForByte) {
    const std::string original =
        "{\n"
        "  \"captures\": {},\n"
        "  \"later\": {\n"
        "    \"nested\": [\n"
        "      1.5,\n"
        "      \"ж\"\n"
        "    ]\n"
        "  },\n"
        "  \"server\": \"https://clip.example\",\n"
        "  \"token\": [\n"
        "    1,\n"
        "    2,\n"
        "    3\n"
        "  ]\n"
        "}";
    ParsedSettings parsed = parseSettings(original);
    ASSERT_FALSE(parsed.unreadable);
    ASSERT_TRUE(parsed.tokenBlob.has_value());
    EXPECT_EQ(*parsed.tokenBlob, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(serializeSettings(parsed.doc), original);
}

TEST(SettingsText, FirstValueIsReadAndTheRestIgnoredByteOrderMarkAccepted) {
    ParsedSettings parsed = parseSettings("\xEF\xBB\xBF{\"server\": \"https://a.example:8443\"} trailing {junk");
    EXPECT_FALSE(parsed.unreadable);
    EXPECT_EQ(parsed.server, "https://a.example:8443");
    EXPECT_FALSE(parsed.tokenBlob.has_value());
}

TEST(SettingsText, UnusableTextEmptiesTheDocumentAndAsksToKeepTheFile) {
    for (const char* text : {"", "not json", "{\"server\": \"x\" /* comment */}", "{\"a\": 1,}", "[1, 2]", "null",
                             "\"text\""}) {
        SCOPED_TRACE(text);
        ParsedSettings parsed = parseSettings(text);
        EXPECT_TRUE(parsed.unreadable);
        EXPECT_EQ(parsed.doc, json::object());
        EXPECT_FALSE(parsed.server.has_value());
        EXPECT_FALSE(parsed.tokenBlob.has_value());
    }
}

TEST(SettingsText, NestingDeeperThanAnyRealFileIsUnreadable) {
    auto nested = [](int depth) {
        return "{\"later\": " + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    EXPECT_FALSE(parseSettings(nested(kMaxJsonDepth)).unreadable);
    ParsedSettings deep = parseSettings("\xEF\xBB\xBF" + nested(kMaxJsonDepth + 1));
    EXPECT_TRUE(deep.unreadable);
    EXPECT_EQ(deep.doc, json::object());
    // Only the first value counts, as for any other text after it.
    EXPECT_FALSE(parseSettings("{} " + std::string(1000, '[')).unreadable);
}

TEST(SettingsText, NonStringServerFallsBackToTheDefault) {
    ParsedSettings parsed = parseSettings("{\"server\": 42, \"captures\": {\"2026-01-01\": 3}}");
    EXPECT_TRUE(parsed.unreadable);
    EXPECT_FALSE(parsed.server.has_value());
    EXPECT_EQ(parsed.doc, json::object());
}

TEST(SettingsText, BadTokenDropsDocumentButKeepsTheServerAlreadyRead) {
    for (const char* token : {"\"abc\"", "[\"1\"]", "[true]", "[1e300]", "[-1.5]", "{\"0\": 1}"}) {
        SCOPED_TRACE(token);
        ParsedSettings parsed = parseSettings(std::string("{\"server\": \"https://s.example\", \"token\": ") + token +
                                              ", \"captures\": {\"2026-01-01\": 3}}");
        EXPECT_TRUE(parsed.unreadable);
        EXPECT_EQ(parsed.server, "https://s.example");
        EXPECT_EQ(parsed.doc, json::object());
        EXPECT_FALSE(parsed.tokenBlob.has_value());
    }
}

TEST(SettingsText, TokenBytesKeepTheirOrderAndWholeRange) {
    ParsedSettings parsed = parseSettings("{\"token\": [0, 128, 255, 3.0]}");
    ASSERT_TRUE(parsed.tokenBlob.has_value());
    EXPECT_EQ(*parsed.tokenBlob, (std::vector<std::uint8_t>{0, 128, 255, 3}));
    EXPECT_EQ(tokenArray(*parsed.tokenBlob), json::parse("[0, 128, 255, 3]"));
}

TEST(SettingsText, TextThatIsNotUtf8CannotBeWrittenSilently) {
    json doc = {{"server", std::string("https://\xC3\x28.example")}};
    EXPECT_THROW(serializeSettings(doc), json::type_error);
}

}  // namespace
