#include <gtest/gtest.h>

#include "storage/json_depth.h"
#include "storage/settings_format.h"

using nlohmann::json;

TEST(SettingsText, TheFirstValueIsReadWithItsTokenBytes) {
    ParsedSettings parsed =
        parseSettings("\xEF\xBB\xBF{\"server\": \"https://a.example:8443\", \"token\": [0, 128, 255, 3.0]} trailing {");
    EXPECT_FALSE(parsed.unreadable);
    EXPECT_EQ(parsed.server, "https://a.example:8443");
    EXPECT_EQ(parsed.tokenBlob, (std::vector<std::uint8_t>{0, 128, 255, 3}));
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
        {"", {}}, {"{\"server\": \"x\" /* comment */}", {}}, {"{\"a\": 1,}", {}}, {"[1, 2]", {}},
        {"{\"server\": 42, \"captures\": {}}", {}}, {"\xEF\xBB\xBF" + nested(kMaxJsonDepth + 1), {}},
        {withToken("\"abc\""), "https://s.example"}, {withToken("[true]"), "https://s.example"},
        {withToken("[1e300]"), "https://s.example"}, {withToken("[-1.5]"), "https://s.example"},
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
