#include <gtest/gtest.h>

#include "storage/json_depth.h"
#include "storage/settings_format.h"

using nlohmann::json;

namespace {

TEST(SettingsText, WrittenFormIsSortedTwoSpaceRawUtf8WithoutFinalLineEnd) {
    json doc = {{"token", tokenArray({7, 255})}, {"server", "https://пример.example"},
                {"captures", {{"2026-03-01", 2}}}, {"empty", json::object()}, {"list", json::array()}};
    EXPECT_EQ(serializeSettings(doc),
              "{\n  \"captures\": {\n    \"2026-03-01\": 2\n  },\n  \"empty\": {},\n  \"list\": [],\n"
              "  \"server\": \"https://пример.example\",\n  \"token\": [\n    7,\n    255\n  ]\n}");
    EXPECT_THROW(serializeSettings({{"server", std::string("https://\xC3\x28.example")}}), json::type_error);
}

TEST(SettingsText, TheFirstValueIsReadWithItsTokenBytes) {
    ParsedSettings parsed =
        parseSettings("\xEF\xBB\xBF{\"server\": \"https://a.example:8443\", \"token\": [0, 128, 255, 3.0]} trailing {");
    EXPECT_FALSE(parsed.unreadable);
    EXPECT_EQ(parsed.server, "https://a.example:8443");
    ASSERT_TRUE(parsed.tokenBlob.has_value());
    EXPECT_EQ(*parsed.tokenBlob, (std::vector<std::uint8_t>{0, 128, 255, 3}));
    EXPECT_FALSE(parseSettings("{\"server\": \"https://a.example\"}").tokenBlob.has_value());
}

// Unusable text empties the document and asks to keep the file aside; a
// server read before a bad token is still used.
TEST(SettingsText, UnusableTextIsKeptAside) {
    auto nested = [](int depth) {
        return "{\"later\": " + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}";
    };
    auto withToken = [](const char* token) {
        return std::string("{\"server\": \"https://s.example\", \"token\": ") + token + ", \"captures\": {}}";
    };
    const std::pair<std::string, std::optional<std::string>> rows[] = {
        {"", {}}, {"not json", {}}, {"{\"server\": \"x\" /* comment */}", {}}, {"{\"a\": 1,}", {}}, {"[1, 2]", {}},
        {"null", {}}, {"\"text\"", {}}, {"{\"server\": 42, \"captures\": {}}", {}},
        {"\xEF\xBB\xBF" + nested(kMaxJsonDepth + 1), {}},
        {withToken("\"abc\""), "https://s.example"}, {withToken("[\"1\"]"), "https://s.example"},
        {withToken("[true]"), "https://s.example"}, {withToken("[1e300]"), "https://s.example"},
        {withToken("[-1.5]"), "https://s.example"}, {withToken("{\"0\": 1}"), "https://s.example"},
    };
    for (const auto& [text, server] : rows) {
        SCOPED_TRACE(text.substr(0, 60));
        ParsedSettings parsed = parseSettings(text);
        EXPECT_TRUE(parsed.unreadable);
        EXPECT_EQ(parsed.doc, json::object());
        EXPECT_EQ(parsed.server, server);
        EXPECT_FALSE(parsed.tokenBlob.has_value());
    }
    EXPECT_FALSE(parseSettings(nested(kMaxJsonDepth)).unreadable);
    EXPECT_FALSE(parseSettings("{} " + std::string(1000, '[')).unreadable);  // only the first value counts
}

}  // namespace
