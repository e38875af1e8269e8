// The real server over HTTPS on loopback, with certificates from a test
// authority: what the program and a browser see.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "messages.h"
#include "quota.h"
#include "support/raw_tls.h"
#include "support/site_harness.h"
#include "support/site_process.h"
#include "support/test_png.h"

namespace {

using nlohmann::json;
using site_test::addSiteUser;
using site_test::bearer;
using site_test::formField;
using site_test::issueSiteCode;
using site_test::makePng;
using site_test::RawTls;
using site_test::SiteProcess;

std::string errorOf(const httplib::Result& result) {
    if (!result) return "(no answer)";
    const auto parsed = json::parse(result->body, nullptr, false);
    return parsed.is_object() && parsed.contains("error") ? parsed["error"].get<std::string>() : "(none)";
}

struct ServerTest : ::testing::Test {
    site_test::ScratchFolder folder;
    std::filesystem::path data = folder.path() / "data";

    std::string token(SiteProcess& server, const std::string& user) {
        return site_test::linkDevice(server, data, user);
    }

    static httplib::Result upload(httplib::SSLClient& client, const std::string& token, const std::string& png) {
        return client.Post("/api/shots", bearer(token), png, "image/png");
    }

    static json profile(SiteProcess& server, const std::string& token) {
        const auto answer = server.client()->Get("/api/me", bearer(token));
        return answer && answer->status == 200 ? json::parse(answer->body) : json();
    }
};

TEST_F(ServerTest, LinkCodeLifeCycle) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    EXPECT_NE(server.output().find("listening on https://localhost:"), std::string::npos);
    const std::string code = issueSiteCode(data, "alice");
    EXPECT_TRUE(std::regex_match(code, std::regex("[ACDEFHJKMNPRTWXY3479]{4}-[ACDEFHJKMNPRTWXY3479]{4}"))) << code;
    auto client = server.client();
    const auto first = client->Post("/api/link/redeem", json{{"code", code}}.dump(), "application/json");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->status, 200);
    EXPECT_EQ(first->get_header_value("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(profile(server, json::parse(first->body)["token"])["username"], "alice");

    const auto again = client->Post("/api/link/redeem", json{{"code", code}}.dump(), "application/json");
    EXPECT_EQ(again->status, 400);
    EXPECT_EQ(errorOf(again), site::messages::kBadLinkCode);
    for (int i = 2; i < site::kAttemptsPerWindow; ++i)
        EXPECT_EQ(client->Post("/api/link/redeem", "{\"code\":\"ACDE-3479\"}", "application/json")->status, 400);
    const auto limited = client->Post("/api/link/redeem", json{{"code", issueSiteCode(data, "alice")}}.dump(),
                                      "application/json");
    EXPECT_EQ(limited->status, 429);
    EXPECT_EQ(errorOf(limited), site::messages::kTooManyAttempts);
}

TEST_F(ServerTest, NotificationsAndProfile) {
    addSiteUser(data, "bob", "pw", true);
    ASSERT_EQ(site_test::runSite({"news", "add", "Обновление", "Текст новости", "--data", data.string()}).exitCode, 0);
    SiteProcess server(data);
    const auto news = server.client()->Get("/api/notifications");
    EXPECT_EQ(json::parse(news->body), json::parse(R"([{"title":"Обновление","body":"Текст новости"}])"));
    const std::string bobToken = token(server, "bob");
    EXPECT_EQ(profile(server, bobToken), (json{{"username", "bob"}, {"pro", true}, {"used", 0}, {"limit", 1000}}));
    const auto missing = server.client()->Get("/api/me");
    EXPECT_EQ(missing->status, 401);
    EXPECT_EQ(errorOf(missing), site::messages::kNoToken);
}

TEST_F(ServerTest, FiftyConcurrentUploadsAgainstALimitOfThirty) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    const std::string aliceToken = token(server, "alice");
    std::atomic<int> accepted{0}, limited{0}, other{0};
    std::vector<std::thread> uploaders;
    for (int i = 0; i < 50; ++i) {
        uploaders.emplace_back([&, i] {
            auto client = server.client();
            const auto answer = upload(*client, aliceToken, makePng(16, 16, i));
            const int status = answer ? answer->status : 0;
            (status == 200 ? accepted : status == 429 ? limited : other)++;
        });
    }
    for (auto& uploader : uploaders) uploader.join();
    EXPECT_EQ(accepted, 30);
    EXPECT_EQ(limited, 20);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(profile(server, aliceToken)["used"], 30);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(data / "shots")) ++files;
    EXPECT_EQ(files, 30);
}

TEST_F(ServerTest, PngBodiesAreChecked) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    const std::string aliceToken = token(server, "alice");
    auto client = server.client();
    const std::string png = makePng(64, 64, 3);
    for (const std::string& bad : {png.substr(0, png.size() / 2), std::string("not a picture"),
                                   std::string("\xff\xd8\xff\xe0 jpeg", 9)}) {
        const auto answer = upload(*client, aliceToken, bad);
        EXPECT_EQ(answer->status, 415);
        EXPECT_EQ(errorOf(answer), site::messages::kNotPng);
    }
    const auto over = upload(*client, aliceToken, makePng(8, 8, 1, 12582913));
    ASSERT_TRUE(over);
    EXPECT_EQ(over->status, 413);
    EXPECT_EQ(errorOf(over), site::messages::kShotTooLarge);
    const std::string largest = makePng(8, 8, 1, 12582912);
    const auto atLimit = upload(*client, aliceToken, largest);
    ASSERT_EQ(atLimit->status, 200);
    const std::string url = json::parse(atLimit->body)["url"];
    EXPECT_TRUE(url.starts_with(server.url() + "/s/")) << url;
    const auto served = client->Get(url.substr(server.url().size()));
    EXPECT_EQ(served->body, largest);
    EXPECT_EQ(served->get_header_value("Content-Type"), "image/png");
    EXPECT_EQ(served->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(profile(server, aliceToken)["used"], 1);
}

TEST_F(ServerTest, RestartKeepsUsersTokensShotsAndCounts) {
    addSiteUser(data, "alice", "pw");
    std::string aliceToken, path;
    const std::string png = makePng(20, 20, 9);
    {
        SiteProcess server(data);
        aliceToken = token(server, "alice");
        auto client = server.client();
        ASSERT_EQ(upload(*client, aliceToken, makePng(5, 5, 1))->status, 200);
        const auto answer = upload(*client, aliceToken, png);
        path = json::parse(answer->body)["url"].get<std::string>().substr(server.url().size());
        EXPECT_EQ(server.stop(), 0);
        EXPECT_NE(server.output().find("stopped"), std::string::npos);
    }
    SiteProcess server(data);
    const auto me = profile(server, aliceToken);
    EXPECT_EQ(me["username"], "alice");
    EXPECT_EQ(me["used"], 2);
    EXPECT_EQ(server.client()->Get(path)->body, png);
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(ServerTest, AccountPageSignInCodeShotsAndRevoke) {
    addSiteUser(data, "alice", "горный пароль");
    SiteProcess server(data);
    auto client = server.client();
    const auto signInPage = client->Get("/account");
    ASSERT_EQ(signInPage->status, 200);
    const std::string signInCookie = signInPage->get_header_value("Set-Cookie");
    const std::string cookie = signInCookie.substr(0, signInCookie.find(';'));
    const httplib::Params form{
        {"form", formField(signInPage->body, "form")}, {"user", "alice"}, {"password", "горный пароль"}};
    const auto signedIn = client->Post("/account/sign-in", {{"Cookie", cookie}}, form);
    ASSERT_EQ(signedIn->status, 303) << signedIn->body;
    const std::string sessionHeader = signedIn->get_header_value("Set-Cookie");
    const std::string session = sessionHeader.substr(0, sessionHeader.find(';'));
    EXPECT_NE(sessionHeader.find("HttpOnly; Secure; SameSite=Strict"), std::string::npos);

    const auto page = client->Get("/account", {{"Cookie", session}});
    const auto withCode = client->Post("/account/link-code", {{"Cookie", session}},
                                       httplib::Params{{"form", formField(page->body, "form")}});
    std::smatch match;
    ASSERT_TRUE(std::regex_search(withCode->body, match, std::regex("class=\"code\">([^<]+)<")));
    const auto redeemed = client->Post("/api/link/redeem", json{{"code", match[1]}}.dump(), "application/json");
    ASSERT_EQ(redeemed->status, 200);
    const std::string deviceToken = json::parse(redeemed->body)["token"];
    const std::string url = json::parse(upload(*client, deviceToken, makePng(6, 6))->body)["url"];

    const auto withShot = client->Get("/account", {{"Cookie", session}});
    EXPECT_NE(withShot->body.find(url), std::string::npos);
    EXPECT_NE(withShot->body.find("1 из 30"), std::string::npos);
    const auto revoked = client->Post(
        "/account/devices/revoke", {{"Cookie", session}},
        httplib::Params{{"form", formField(withShot->body, "form")}, {"device", formField(withShot->body, "device")}});
    EXPECT_EQ(revoked->status, 303);
    EXPECT_EQ(client->Get("/api/me", bearer(deviceToken))->status, 401);
}

TEST_F(ServerTest, HostileRequestsGetAnswersAndTheServerCarriesOn) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    auto client = server.client();

    const auto hugeHeader = client->Get("/api/me", {{"X-Filler", std::string(100000, 'a')}});
    if (hugeHeader) {
        EXPECT_GE(hugeHeader->status, 400);
    }
    const auto longPath = client->Get("/" + std::string(20000, 'p'));
    if (longPath) {
        EXPECT_GE(longPath->status, 400);
    }

    httplib::Request brew;
    brew.method = "BREW";
    brew.path = "/api/me";
    const auto brewed = client->send(brew);
    ASSERT_TRUE(brewed);
    EXPECT_EQ(brewed->status, 400);
    EXPECT_EQ(errorOf(brewed), site::messages::kBadRequest);
    EXPECT_EQ(client->Delete("/api/shots")->status, 405);

    for (const char* body : {"{", "{\"code\": [1,2,3]}", "\xff\xff"}) {
        const auto answer = client->Post("/api/link/redeem", body, "application/json");
        EXPECT_EQ(answer->status, 400) << body;
        EXPECT_NE(errorOf(answer), "(none)");
    }
    const auto bigJson = client->Post("/api/link/redeem", std::string(1 << 20, ' '), "application/json");
    EXPECT_EQ(bigJson->status, 413);
    EXPECT_EQ(errorOf(bigJson), site::messages::kRequestTooLarge);

    for (const char* path : {"/s/..%2f..%2fsite.db", "/s/%2e%2e/site.db", "/s/../site.db", "/../site.db",
                             "/s/%00", "/shots/", "/site.db-wal"}) {
        const auto answer = client->Get(path);
        ASSERT_TRUE(answer) << path;
        EXPECT_GE(answer->status, 400) << path;
        EXPECT_NE(answer->get_header_value("Content-Type"), "image/png") << path;
    }
    EXPECT_EQ(server.client()->Get("/healthz")->status, 200);
}

TEST_F(ServerTest, OneLogLinePerRequestWithoutSecrets) {
    addSiteUser(data, "alice", "very-secret-password");
    SiteProcess server(data);
    const std::string aliceToken = token(server, "alice");
    auto client = server.client();
    client->Get("/api/me", bearer(aliceToken));
    client->Get("/api/me", bearer("nonsense"));
    client->Post("/account/sign-in", "user=alice&password=very-secret-password", "application/x-www-form-urlencoded");
    client->Get("/healthz");
    EXPECT_EQ(server.stop(), 0);
    const std::string log = server.log();
    EXPECT_EQ(log.find(aliceToken), std::string::npos);
    EXPECT_EQ(log.find("very-secret-password"), std::string::npos);
    const std::regex line("127\\.0\\.0\\.1 - - \\[[0-9]{2}/[A-Z][a-z]{2}/[0-9]{4}(:[0-9]{2}){3} \\+0000\\] "
                          "\"(GET|POST) /[a-z/-]* HTTP/1\\.1\" [0-9]{3} [0-9]+ [0-9]+\\.[0-9]{3}");
    int lines = 0;
    std::istringstream in(log);
    for (std::string text; std::getline(in, text);) {
        if (std::regex_match(text, line)) ++lines;
    }
    EXPECT_EQ(lines, 5) << log;
    EXPECT_NE(log.find("\"GET /api/me HTTP/1.1\" 401 "), std::string::npos);
    EXPECT_NE(log.find("\"POST /account/sign-in HTTP/1.1\" 403 "), std::string::npos);
    EXPECT_NE(log.find("\"GET /healthz HTTP/1.1\" 200 3 "), std::string::npos);
}

TEST_F(ServerTest, CommandLineMistakesAreReported) {
    EXPECT_EQ(site_test::runSite({}).exitCode, 2);
    EXPECT_EQ(site_test::runSite({"serve", "--data", data.string()}).exitCode, 1);
    EXPECT_EQ(site_test::runSite({"code", "nobody", "--data", data.string()}).exitCode, 1);
    addSiteUser(data, "alice", "pw");
    EXPECT_EQ(site_test::runSite({"user", "add", "alice", "--password-file", "-", "--data", data.string()}, "x\n").exitCode, 1);
    const auto generated = site_test::runSite({"user", "add", "carol", "--data", data.string()});
    EXPECT_EQ(generated.exitCode, 0);
    EXPECT_TRUE(std::regex_search(generated.output, std::regex("password: [A-Za-z0-9]{16}\n"))) << generated.output;
    const auto backup = site_test::runSite({"backup", (folder.path() / "copy.db").string(), "--data", data.string()});
    EXPECT_EQ(backup.exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "copy.db"));
}

// Each gets its answer and the connection ends after it, so nothing that
// follows can pass for another request.
TEST_F(ServerTest, FramingErrorsAreRefusedAndEndTheConnection) {
    SiteProcess server(data);
    const std::string post = "POST /api/link/redeem HTTP/1.1\r\nHost: localhost\r\n";
    std::string manyLines = "GET /healthz HTTP/1.1\r\nHost: localhost\r\n";
    for (int i = 0; i < 100; ++i) manyLines += "X-Line: " + std::to_string(i) + "\r\n";
    const struct {
        const char* what;
        std::string request;
        int status;
    } cases[] = {
        {"length, then chunks", post + "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
        {"chunks, then length", post + "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n\r\n0\r\n\r\n", 400},
        {"two equal lengths", post + "Content-Length: 2\r\nContent-Length: 2\r\n\r\n{}", 400},
        {"a list of lengths", post + "Content-Length: 2, 2\r\n\r\n{}", 400},
        {"a length that is no number", post + "Content-Length: abc\r\n\r\n{}", 400},
        {"an unknown coding", post + "Transfer-Encoding: gzip\r\n\r\n{}", 400},
        {"a coding before chunks", post + "Transfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", 400},
        {"a broken chunk", post + "Transfer-Encoding: chunked\r\n\r\nzz\r\n{}", 400},
        {"a body on a GET", "GET /api/notifications HTTP/1.1\r\nHost: localhost\r\nContent-Length: 5\r\n\r\nGET /", 400},
        {"an unknown version", "GET /healthz HTTP/2.0\r\nHost: localhost\r\n\r\n", 400},
        {"101 header lines", manyLines + "\r\n", 431},
        {"17 KiB of headers", "GET /healthz HTTP/1.1\r\nX-Big: " + std::string(17 * 1024, 'a') + "\r\n\r\n", 431},
    };
    for (const auto& c : cases) {
        RawTls connection(server.port());
        connection.send(c.request);
        EXPECT_EQ(connection.answer().status, c.status) << c.what;
        EXPECT_TRUE(connection.closedByServer()) << c.what;
    }
}

TEST_F(ServerTest, PipelinedRequestsAreAnsweredInOrder) {
    SiteProcess server(data);
    RawTls connection(server.port());
    std::string hundredLines = "GET /api/notifications HTTP/1.1\r\nHost: localhost\r\n";
    for (int i = 1; i < 100; ++i) hundredLines += "X-Line: " + std::to_string(i) + "\r\n";
    connection.send("GET /healthz HTTP/1.1\r\nHost: localhost\r\n\r\n" + hundredLines +
                    "\r\nHEAD /healthz HTTP/1.1\r\nHost: localhost\r\n\r\nGET /nowhere HTTP/1.1\r\nHost: localhost\r\n\r\n");
    EXPECT_EQ(connection.answer().body, "ok\n");
    EXPECT_EQ(connection.answer().body, "[]");
    auto head = connection.answer(true);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers["content-length"], "3");
    EXPECT_EQ(connection.answer().status, 404);  // a HEAD answer with a body would be read here
}

TEST_F(ServerTest, EveryAnswerCarriesHstsNosniffAndADate) {
    SiteProcess server(data);
    const std::regex date("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-9]{2} [A-Z][a-z]{2} [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} GMT");
    for (const char* request : {"GET /healthz", "GET /api/me", "GET /account", "GET /s/0", "POST /api/shots", "BREW /"}) {
        RawTls connection(server.port());
        connection.send(std::string(request) + " HTTP/1.1\r\nHost: localhost\r\n\r\n");
        auto answer = connection.answer();
        EXPECT_GT(answer.status, 0) << request;
        EXPECT_EQ(answer.headers["strict-transport-security"], "max-age=31536000") << request;
        EXPECT_EQ(answer.headers["x-content-type-options"], "nosniff") << request;
        EXPECT_TRUE(std::regex_match(answer.headers["date"], date)) << request << ": " << answer.headers["date"];
    }
}

// The token, the declared length and the day's count are judged from the
// headers: each answer arrives while not one byte of the body was sent.
TEST_F(ServerTest, UploadsAreRefusedBeforeTheirBody) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    const std::string aliceToken = token(server, "alice");
    auto client = server.client();
    for (int i = 0; i < site::kFreeDailyLimit; ++i) ASSERT_EQ(upload(*client, aliceToken, makePng(2, 2, i))->status, 200);
    const std::string head = "POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\n";
    const std::string bearer = "Authorization: Bearer " + aliceToken + "\r\n";
    const struct {
        const char* what;
        std::string headers;
        int status;
    } cases[] = {
        {"no token", "Content-Length: 1000\r\n", 401},
        {"a shot over 12 MiB", bearer + "Content-Length: 12582913\r\n", 413},
        {"an endless length", bearer + "Content-Length: 1000000000000000\r\n", 413},
        {"the day's uploads used up", bearer + "Content-Length: 1000\r\n", 429},
    };
    for (const auto& c : cases) {
        RawTls connection(server.port());
        connection.send(head + c.headers + "\r\n");
        EXPECT_EQ(connection.answer().status, c.status) << c.what;
        EXPECT_TRUE(connection.closedByServer()) << c.what;
    }
}

TEST_F(ServerTest, AChunkedUploadIsCutAtTheLargestShot) {
    addSiteUser(data, "bob", "pw", true);
    SiteProcess server(data);
    const std::string bobToken = token(server, "bob");
    RawTls connection(server.port());
    connection.send("POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\nAuthorization: Bearer " +
                    bobToken + "\r\nTransfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "100000\r\n" + std::string(1 << 20, 'x') + "\r\n";
    for (int i = 0; i < 13 && connection.send(chunk); ++i) {
    }
    EXPECT_EQ(connection.answer().status, 413);
    EXPECT_EQ(profile(server, bobToken)["used"], 0);
}

// SIGTERM ends the connections that wait and answers the request in flight.
TEST_F(ServerTest, StopEndsSlowClientsAndAnswersWhatIsInFlight) {
    addSiteUser(data, "alice", "pw");
    SiteProcess server(data);
    const std::string aliceToken = token(server, "alice");
    const int silent = site_test::connectTcp(server.port(), "127.0.0.1", 30);
    RawTls trickle(server.port());
    trickle.send("GET /api/me HTTP/1.1\r\nHost: loc");
    RawTls uploading(server.port());
    const std::string png = makePng(32, 32, 7);
    uploading.send("POST /api/shots HTTP/1.1\r\nHost: localhost\r\nContent-Type: image/png\r\nExpect: 100-continue\r\n"
                   "Authorization: Bearer " + aliceToken + "\r\nContent-Length: " + std::to_string(png.size()) + "\r\n\r\n");
    ASSERT_EQ(uploading.answer().status, 100);  // admitted, so in flight
    ::kill(server.pid(), SIGTERM);
    // The body follows only once the waiting connection is gone: a server
    // that waited for it would be past its stop by then.
    EXPECT_TRUE(trickle.closedByServer());
    uploading.send(png);
    auto answer = uploading.answer();
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.headers["connection"], "close");
    EXPECT_EQ(server.stop(), 0);
    EXPECT_NE(server.output().find("stopped"), std::string::npos);
    char byte;
    EXPECT_EQ(::recv(silent, &byte, 1, 0), 0);
    ::close(silent);
}

}  // namespace
