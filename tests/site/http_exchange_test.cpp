#include <gtest/gtest.h>

#include "scripted_connection.h"
#include "site/site_address.h"
#include "storage/json_depth.h"

using nlohmann::json;

namespace {

constexpr char kInvalid[] = "! Сайт вернул некорректный ответ";
constexpr char kSiteError[] = "! Ошибка сайта";
constexpr char kTooLarge[] = "! Ответ сайта слишком большой";

// The answer as compact JSON, or "! " and the sentence of the failure.
std::string outcomeOf(ScriptedConnection& network, const std::string& address = "https://clip.test") {
    try {
        return performRequest(network, HttpCall{address, "", "GET", "/api/me", "", false}).dump();
    } catch (const std::exception& error) {
        return std::string("! ") + error.what();
    }
}

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

}  // namespace

TEST(SiteAddress, HttpsOriginGivesHostAndPortAnythingElseIsRefusedBeforeAnyNetworkStep) {
    const std::pair<const char*, const char*> rows[] = {
        {"https://clip.test", "clip.test 443"},       {"https://clip.test/", "clip.test 443"},
        {"HTTPS://clip.test", "clip.test 443"},       {"https://127.0.0.1:8443/", "127.0.0.1 8443"},
        {"https://[::1]:8443", "[::1] 8443"},         {"https://[::1]", "[::1] 443"},
        {"https://clip.test//", ""},                  {"http://clip.test", ""},
        {"https://clip.test/x", ""},                  {"https://clip.test/?a=1", ""},
        {"https://clip.test#top", ""},                {"https://clip.test:0", ""},
        {"https://clip.test:65536", ""},              {"https://clip.test:84a3", ""},
        {"https://clip.test:", ""},                   {"https:///", ""},
        {"https://user@clip.test", ""},               {"https://clip test", ""},
    };
    for (const auto& [address, origin] : rows) {
        std::optional<SiteOrigin> parsed = parseSiteAddress(address);
        EXPECT_EQ(parsed ? parsed->host + " " + std::to_string(parsed->port) : "", origin) << address;
    }
    ScriptedConnection network;
    EXPECT_EQ(outcomeOf(network, "https://clip.test:0"), "! Укажите HTTPS-адрес сайта без пути");
    EXPECT_TRUE(network.steps.empty());
}

TEST(HttpExchange, EachStepStatusAndBodyGiveTheAnswerOrTheSentence) {
    struct Row { std::uint32_t status; std::deque<ScriptedChunk> chunks; std::string outcome;
                 bool availabilityFails = false; const char* failingStep = ""; };
    const std::string atCap = "\"" + std::string(kMaxResponseBytes - 2, 'a') + "\"";
    const Row rows[] = {
        {200, {{"{}"}}, "! Не удалось запустить подключение", false, "session"},
        {200, {{"{}"}}, "! Не удалось подключиться к сайту", false, "request"},
        {200, {{"{}"}}, "! Нет соединения с сайтом. Проверьте интернет и адрес", false, "exchange"},
        {299, {{R"({"ok":true})"}}, R"({"ok":true})"},
        {199, {{R"({"ok":true})"}}, kSiteError},
        {300, {{R"({"ok":true})"}}, kSiteError},
        {404, {{R"({"error":"Снимок не найден"})"}}, "! Снимок не найден"},
        // Found by the transport fuzzer: an empty sentence blanked the status line.
        {429, {{R"({"error":""})"}}, kSiteError},
        {204, {}, kInvalid},
        {200, {{"{\"a\":1 /* note */}"}}, kInvalid},
        {200, {{"{\"a\":\"\xff\"}"}}, kInvalid},
        {200, {{nested(kMaxJsonDepth)}}, nested(kMaxJsonDepth)},
        {500, {{nested(kMaxJsonDepth + 1)}}, kInvalid},
        {200, {{"{\"name\":"}, {"\"Ан"}, {"на\"}"}}, R"({"name":"Анна"})"},
        {200, {{"[1,", false, 10}, {"2]"}}, "[1,2]"},  // fewer bytes read than announced
        {200, {{"{\"a\":"}, {"1}", true}}, "! Соединение прервано"},
        {200, {{"[1,"}, {"2]"}}, "[1,2]", true},
        {200, {{atCap.substr(0, 1000)}, {atCap.substr(1000)}}, atCap},
        {200, {{atCap}, {" "}}, kTooLarge},  // the chunk past the cap is never read
    };
    for (const Row& row : rows) {
        ScriptedConnection network;
        network.failingStep = row.failingStep;
        network.status = row.status;
        network.chunks = row.chunks;
        network.availabilityFails = row.availabilityFails;
        EXPECT_EQ(outcomeOf(network), row.outcome) << row.status << row.failingStep << row.chunks.size();
        EXPECT_EQ(network.reads, static_cast<int>(row.chunks.size() - network.chunks.size()));
    }
    // A failure whose body is no object, or whose sentence no string, is no success either.
    for (const char* body : {"[1,2]", R"({"error":7})"}) {
        ScriptedConnection network;
        network.status = 400;
        network.chunks = {{body}};
        EXPECT_THROW(performRequest(network, HttpCall{"https://clip.test", "", "GET", "/", "", false}), json::type_error);
    }
}
