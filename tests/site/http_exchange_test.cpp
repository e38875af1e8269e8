#include <gtest/gtest.h>

#include <string>

#include "scripted_connection.h"
#include "site/http_exchange.h"
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

std::string nested(int depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

std::string jsonStringOfSize(std::size_t size) {
    return "\"" + std::string(size - 2, 'a') + "\"";
}

}  // namespace

TEST(HttpExchange, AddressGivesHostAndPortOrIsRefusedBeforeAnyNetworkStep) {
    struct Row {
        const char* address;
        const char* host;  // "" when refused
        std::uint16_t port;
    };
    const Row rows[] = {
        {"https://clip.test", "clip.test", 443}, {"https://clip.test/", "clip.test", 443},
        {"HTTPS://clip.test", "clip.test", 443}, {"https://127.0.0.1:8443/", "127.0.0.1", 8443},
        {"https://[::1]:8443", "[::1]", 8443},   {"https://[::1]", "[::1]", 443},
        {"https://clip.test//", "", 0},          {"http://clip.test", "", 0},
        {"https://clip.test/x", "", 0},          {"https://clip.test?a=1", "", 0},
        {"https://clip.test/?a=1", "", 0},       {"https://clip.test#top", "", 0},
        {"https://clip.test:0", "", 0},          {"https://clip.test:65536", "", 0},
        {"https://clip.test:84a3", "", 0},       {"https://clip.test:", "", 0},
        {"https://", "", 0},                     {"https:///", "", 0},
        {"clip.test", "", 0},                    {"", "", 0},
        {"https://user@clip.test", "", 0},       {"ftp://clip.test", "", 0},
        {"https://clip test", "", 0},
    };
    for (const Row& row : rows) {
        ScriptedConnection network;
        network.chunks = {{"{}"}};
        std::string outcome = outcomeOf(network, row.address);
        if (*row.host) {
            EXPECT_EQ(outcome, "{}") << row.address;
        } else {
            EXPECT_EQ(outcome, "! Укажите HTTPS-адрес сайта без пути") << row.address;
        }
        EXPECT_EQ(network.host, row.host) << row.address;
        EXPECT_EQ(network.port, row.port) << row.address;
        EXPECT_EQ(network.steps.empty(), !*row.host) << row.address;
    }
}

TEST(HttpExchange, EachNetworkStepThatFailsHasItsSentenceAndEndsTheExchange) {
    const std::pair<const char*, const char*> rows[] = {
        {"session", "! Не удалось запустить подключение"},
        {"request", "! Не удалось подключиться к сайту"},
        {"exchange", "! Нет соединения с сайтом. Проверьте интернет и адрес"},
    };
    for (const auto& [step, sentence] : rows) {
        ScriptedConnection network;
        network.failingStep = step;
        network.chunks = {{"{}"}};
        EXPECT_EQ(outcomeOf(network), sentence);
        EXPECT_EQ(network.steps.back(), step);
        EXPECT_EQ(network.reads, 0) << step;
    }
}

TEST(HttpExchange, StatusAndBodyGiveTheAnswerOrTheSentence) {
    struct Row {
        std::uint32_t status;
        std::deque<ScriptedChunk> chunks;
        std::string outcome;
        bool availabilityFails = false;
    };
    const Row rows[] = {
        {200, {{R"({"ok":true})"}}, R"({"ok":true})"},
        {201, {{R"({"ok":true})"}}, R"({"ok":true})"},
        {299, {{R"({"ok":true})"}}, R"({"ok":true})"},
        {0, {{R"({"ok":true})"}}, kSiteError},
        {199, {{R"({"ok":true})"}}, kSiteError},
        {300, {{R"({"ok":true})"}}, kSiteError},
        {503, {{R"({"detail":"x"})"}}, kSiteError},
        {404, {{R"({"error":"Снимок не найден"})"}}, "! Снимок не найден"},
        // Found by the transport fuzzer: an empty sentence blanked the status line.
        {429, {{R"({"error":""})"}}, kSiteError},
        {204, {}, kInvalid},
        {200, {{"<html>oops</html>"}}, kInvalid},
        {200, {{"{\"a\":1"}}, kInvalid},
        {200, {{"{\"a\":1 /* note */}"}}, kInvalid},
        {200, {{"{\"a\":\"\xff\"}"}}, kInvalid},
        {200, {{nested(kMaxJsonDepth)}}, nested(kMaxJsonDepth)},
        {200, {{nested(kMaxJsonDepth + 1)}}, kInvalid},
        {500, {{nested(kMaxJsonDepth + 1)}}, kInvalid},
        {200, {{"{\"name\":"}, {"\"Ан"}, {"на\"}"}}, R"({"name":"Анна"})"},
        {200, {{"[1,", false, 10}, {"2]"}}, "[1,2]"},  // fewer bytes read than announced
        {200, {{"{\"a\":"}, {"1}", true}}, "! Соединение прервано"},
        {200, {{"[1,"}, {"2]"}}, "[1,2]", true},
        {200, {}, kInvalid, true},
        {200, {{std::string(kMaxResponseBytes + 1, ' ')}}, kTooLarge},
    };
    for (const Row& row : rows) {
        ScriptedConnection network;
        network.status = row.status;
        network.chunks = row.chunks;
        network.availabilityFails = row.availabilityFails;
        EXPECT_EQ(outcomeOf(network), row.outcome) << row.status << " " << (row.chunks.empty() ? "" : row.chunks[0].data);
        EXPECT_EQ(network.reads, static_cast<int>(row.chunks.size() - network.chunks.size()));
    }
    // A failure whose body is no object, or whose sentence no string, is no success either.
    for (const char* body : {"[1,2]", R"({"error":7})", "null"}) {
        ScriptedConnection network;
        network.status = 400;
        network.chunks = {{body}};
        EXPECT_THROW(performRequest(network, HttpCall{"https://clip.test", "", "GET", "/", "", false}), json::type_error);
    }
}

TEST(HttpExchange, BodyUpToTheCapIsReadAndAChunkBeyondItIsNeverRead) {
    std::string body = jsonStringOfSize(kMaxResponseBytes);
    ScriptedConnection exact;
    exact.chunks = {{body.substr(0, 1000)}, {body.substr(1000)}};
    EXPECT_EQ(outcomeOf(exact).size(), kMaxResponseBytes);

    ScriptedConnection over;
    over.chunks = {{body}, {" "}};
    EXPECT_EQ(outcomeOf(over), kTooLarge);
    EXPECT_EQ(over.chunks.size(), 1u);
}

TEST(HttpExchange, RequestCarriesMethodPathHeadersBodyAndTimeouts) {
    EXPECT_EQ(requestHeaders("", false), "Content-Type: application/json\r\n");
    EXPECT_EQ(requestHeaders("tok.en", true), "Content-Type: image/png\r\nAuthorization: Bearer tok.en\r\n");

    ScriptedConnection network;
    network.status = 201;
    network.chunks = {{"{}"}};
    std::string png("\x89PNG\r\n\x1a\n\0\0", 10);
    performRequest(network, HttpCall{"https://clip.test", "abc", "POST", "/api/shots", png, false});
    EXPECT_EQ(network.method, "POST");
    EXPECT_EQ(network.path, "/api/shots");
    EXPECT_EQ(network.headers, "Content-Type: application/json\r\nAuthorization: Bearer abc\r\n");
    EXPECT_EQ(network.sentBody, png);
    const HttpTimeouts& t = network.timeouts;
    EXPECT_EQ(std::vector<int>({t.resolveMs, t.connectMs, t.sendMs, t.receiveMs}),
              std::vector<int>({10000, 10000, 15000, 20000}));
    EXPECT_EQ(network.steps, (std::vector<std::string>{"session", "request", "exchange", "status"}));
}
