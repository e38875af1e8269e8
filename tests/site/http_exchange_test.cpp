#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "scripted_connection.h"
#include "site/http_exchange.h"
#include "storage/json_depth.h"

using nlohmann::json;

namespace {

HttpCall getCall(const std::string& baseUrl = "https://clip.test") {
    return HttpCall{baseUrl, "", "GET", "/api/me", "", false};
}

// The message of whatever performRequest throws; fails the test when it returns.
std::string failureOf(ScriptedConnection& network, const HttpCall& call) {
    try {
        json answer = performRequest(network, call);
        ADD_FAILURE() << "expected a failure, got " << answer.dump();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

std::string jsonStringOfSize(std::size_t size) {
    return "\"" + std::string(size - 2, 'a') + "\"";
}

constexpr char kAddressMessage[] = "Укажите HTTPS-адрес сайта без пути";
constexpr char kInvalidAnswer[] = "Сайт вернул некорректный ответ";

}  // namespace

TEST(HttpAddress, OriginWithOrWithoutOneTrailingSlashReachesHostOnPort443) {
    for (const char* address : {"https://clip.test", "https://clip.test/"}) {
        ScriptedConnection network;
        network.answer(200, "{}");
        performRequest(network, getCall(address));
        EXPECT_EQ(network.host, "clip.test") << address;
        EXPECT_EQ(network.port, 443) << address;
    }
}

TEST(HttpAddress, ExplicitPortIsUsed) {
    ScriptedConnection network;
    network.answer(200, "{}");
    performRequest(network, getCall("https://127.0.0.1:8443/"));
    EXPECT_EQ(network.host, "127.0.0.1");
    EXPECT_EQ(network.port, 8443);
}

TEST(HttpAddress, SchemeLettersMayBeCapitals) {
    ScriptedConnection network;
    network.answer(200, "{}");
    performRequest(network, getCall("HTTPS://clip.test"));
    EXPECT_EQ(network.host, "clip.test");
}

TEST(HttpAddress, RefusedAddressesNeverTouchTheNetwork) {
    for (const char* address :
         {"https://clip.test//", "http://clip.test", "https://clip.test/x", "https://clip.test?a=1",
          "https://clip.test/?a=1", "https://clip.test#top", "https://clip.test:0", "https://clip.test:65536",
          "https://clip.test:84a3", "https://clip.test:", "https://", "https:///", "clip.test", "",
          "https://user@clip.test", "ftp://clip.test", "https://clip test"}) {
        ScriptedConnection network;
        EXPECT_EQ(failureOf(network, getCall(address)), kAddressMessage) << address;
        EXPECT_TRUE(network.steps.empty()) << address;
    }
}

TEST(HttpFailures, EachNetworkStepHasItsSentenceAndStopsTheExchange) {
    struct Row {
        void (*breakIt)(ScriptedConnection&);
        const char* message;
        size_t stepsTaken;
    };
    const Row rows[] = {
        {[](ScriptedConnection& n) { n.sessionOpens = false; }, "Не удалось запустить подключение", 1},
        {[](ScriptedConnection& n) { n.requestOpens = false; }, "Не удалось подключиться к сайту", 2},
        {[](ScriptedConnection& n) { n.exchangeWorks = false; }, "Нет соединения с сайтом. Проверьте интернет и адрес", 3},
    };
    for (const Row& row : rows) {
        ScriptedConnection network;
        network.answer(200, "{}");
        row.breakIt(network);
        EXPECT_EQ(failureOf(network, getCall()), row.message);
        EXPECT_EQ(network.steps.size(), row.stepsTaken) << row.message;
        EXPECT_EQ(network.reads, 0) << row.message;
    }
}

TEST(HttpFailures, ChunkThatCannotBeReadIsAnInterruptedConnection) {
    ScriptedConnection network;
    network.chunks = {{"{\"a\":"}, {"1}", true}};
    EXPECT_EQ(failureOf(network, getCall()), "Соединение прервано");
}

TEST(HttpFailures, BodiesThatAreNotStrictJsonAreInvalidAnswers) {
    for (const char* body : {"", "<html>oops</html>", "{\"a\":1", "{\"a\":1 /* note */}", "{\"a\":\"\xff\"}"}) {
        ScriptedConnection network;
        network.answer(200, body);
        EXPECT_EQ(failureOf(network, getCall()), kInvalidAnswer) << body;
    }
}

TEST(HttpFailures, AnswersNestedDeeperThanAnyRealOneAreInvalid) {
    auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    ScriptedConnection fits;
    fits.answer(200, nested(kMaxJsonDepth));
    EXPECT_NO_THROW(performRequest(fits, getCall()));
    for (std::uint32_t status : {200u, 500u}) {
        ScriptedConnection deep;
        deep.answer(status, nested(kMaxJsonDepth + 1));
        EXPECT_EQ(failureOf(deep, getCall()), kInvalidAnswer) << status;
    }
}

TEST(HttpFailures, FailureStatusShowsTheSitesOwnSentenceOrAGenericOne) {
    ScriptedConnection withError;
    withError.answer(404, R"({"error":"Снимок не найден"})");
    EXPECT_EQ(failureOf(withError, getCall()), "Снимок не найден");

    ScriptedConnection withoutError;
    withoutError.answer(500, R"({"detail":"x"})");
    EXPECT_EQ(failureOf(withoutError, getCall()), "Ошибка сайта");

    // Found by the transport fuzzer: an empty sentence blanked the status line.
    ScriptedConnection emptyError;
    emptyError.answer(429, R"({"error":""})");
    EXPECT_EQ(failureOf(emptyError, getCall()), "Ошибка сайта");
}

TEST(HttpFailures, FailureStatusWithUnusableJsonGivesTheLibrarysTypeError) {
    for (const char* body : {"[1,2]", R"({"error":7})", "null", "\"text\""}) {
        std::string expected;
        try {
            json::parse(body).value("error", std::string("Ошибка сайта"));
        } catch (const json::type_error& error) {
            expected = error.what();
        }
        ASSERT_FALSE(expected.empty()) << body;

        ScriptedConnection network;
        network.answer(400, body);
        try {
            performRequest(network, getCall());
            ADD_FAILURE() << body;
        } catch (const json::type_error& error) {
            EXPECT_EQ(std::string(error.what()), expected) << body;
        }
    }
}

TEST(HttpStatus, OnlyTwoHundredsSucceed) {
    for (std::uint32_t status : {200u, 201u, 204u, 299u}) {
        ScriptedConnection network;
        network.answer(status, R"({"ok":true})");
        EXPECT_EQ(performRequest(network, getCall()), json({{"ok", true}})) << status;
    }
    for (std::uint32_t status : {0u, 199u, 300u, 401u, 503u}) {
        ScriptedConnection network;
        network.answer(status, R"({"ok":true})");
        EXPECT_EQ(failureOf(network, getCall()), "Ошибка сайта") << status;
    }
}

TEST(HttpStatus, EmptySuccessBodyIsAnInvalidAnswer) {
    ScriptedConnection network;
    network.answer(204, "");
    EXPECT_EQ(failureOf(network, getCall()), kInvalidAnswer);
}

TEST(HttpStatus, RedirectIsReportedFromItsOwnBody) {
    const std::pair<const char*, const char*> cases[] = {
        {"", kInvalidAnswer},
        {"<html><a href=\"/moved\">moved</a></html>", kInvalidAnswer},
        {R"({"error":"Сайт переехал"})", "Сайт переехал"},
        {R"({"location":"/moved"})", "Ошибка сайта"},
    };
    for (const auto& [body, message] : cases) {
        ScriptedConnection network;
        network.answer(302, body);
        EXPECT_EQ(failureOf(network, getCall()), message) << body;
    }
}

TEST(HttpBody, ChunksAreJoinedAndShortReadsTrimmed) {
    ScriptedConnection network;
    network.chunks = {{"{\"name\":"}, {"\"Ан"}, {"на\"}"}};
    EXPECT_EQ(performRequest(network, getCall()), json({{"name", "Анна"}}));
    EXPECT_EQ(network.reads, 3);
}

TEST(HttpBody, FailedAvailabilityQuestionEndsTheBody) {
    ScriptedConnection network;
    network.chunks = {{"[1,"}, {"2]"}};
    network.availabilityFails = true;
    EXPECT_EQ(performRequest(network, getCall()), json({1, 2}));

    ScriptedConnection nothing;
    nothing.availabilityFails = true;
    EXPECT_EQ(failureOf(nothing, getCall()), kInvalidAnswer);
}

TEST(HttpBody, ExactlyTheCapIsParsed) {
    ScriptedConnection network;
    std::string body = jsonStringOfSize(kMaxResponseBytes);
    network.chunks = {{body.substr(0, 1000)}, {body.substr(1000)}};
    json answer = performRequest(network, getCall());
    EXPECT_EQ(answer.get_ref<const std::string&>().size(), kMaxResponseBytes - 2);
}

TEST(HttpBody, OneByteOverTheCapIsRefusedBeforeThatChunkIsRead) {
    ScriptedConnection network;
    std::string body = jsonStringOfSize(kMaxResponseBytes);
    network.chunks = {{body}, {" "}};
    EXPECT_EQ(failureOf(network, getCall()), "Ответ сайта слишком большой");
    EXPECT_EQ(network.reads, 1);
    EXPECT_EQ(network.chunks.size(), 1u);

    ScriptedConnection oneHugeChunk;
    oneHugeChunk.chunks = {{std::string(kMaxResponseBytes + 1, ' ')}};
    EXPECT_EQ(failureOf(oneHugeChunk, getCall()), "Ответ сайта слишком большой");
    EXPECT_EQ(oneHugeChunk.reads, 0);
}

TEST(HttpRequestShape, HeaderBlockWithAndWithoutToken) {
    EXPECT_EQ(requestHeaders("", false), "Content-Type: application/json\r\n");
    EXPECT_EQ(requestHeaders("", true), "Content-Type: image/png\r\n");
    EXPECT_EQ(requestHeaders("tok.en", true), "Content-Type: image/png\r\nAuthorization: Bearer tok.en\r\n");
}

TEST(HttpRequestShape, GetSendsJsonTypeNoBodyAndFixedTimeouts) {
    ScriptedConnection network;
    network.answer(200, "{}");
    performRequest(network, HttpCall{"https://clip.test", "abc", "GET", "/api/me", "", false});
    EXPECT_EQ(network.method, "GET");
    EXPECT_EQ(network.path, "/api/me");
    EXPECT_EQ(network.headers, "Content-Type: application/json\r\nAuthorization: Bearer abc\r\n");
    EXPECT_TRUE(network.sentBody.empty());
    EXPECT_EQ(network.timeouts.resolveMs, 10000);
    EXPECT_EQ(network.timeouts.connectMs, 10000);
    EXPECT_EQ(network.timeouts.sendMs, 15000);
    EXPECT_EQ(network.timeouts.receiveMs, 20000);
    EXPECT_EQ(network.steps, (std::vector<std::string>{"session", "request", "exchange", "status"}));
}

TEST(HttpRequestShape, PostCarriesTheBodyAsIs) {
    ScriptedConnection network;
    network.answer(201, R"({"url":"https://clip.test/s/1"})");
    std::string png("\x89PNG\r\n\x1a\n\0\0", 10);
    performRequest(network, HttpCall{"https://clip.test", "t", "POST", "/api/shots", png, true});
    EXPECT_EQ(network.method, "POST");
    EXPECT_EQ(network.sentBody, png);
    EXPECT_EQ(network.headers.rfind("Content-Type: image/png\r\n", 0), 0u);
}
