// The program's four messages, the shot links and requests no client should
// send, through Site::handle with a hand-moved clock.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

#include "link_code.h"
#include "messages.h"
#include "quota.h"
#include "secrets.h"
#include "support/site_harness.h"
#include "support/test_png.h"

namespace {

using site_test::errorOf;
using site_test::headerOf;
using site_test::Harness;
using site_test::makePng;
using site_test::member;

// Codes are typed in any case with spaces, redeemed once, replaced by the
// next one and dead after ten minutes.
TEST(LinkCodes, OneRedeemPerLiveCode) {
    Harness h;
    h.addUser("alice");
    const std::string replaced = h.issueCode("alice");
    std::string code = h.issueCode("alice");
    h.now += site::kLinkCodeLifetimeSeconds - 1;
    EXPECT_EQ(h.redeem(replaced).status, 400);
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto first = h.redeem(" " + code + " ");
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_EQ(first.contentType, "application/json; charset=utf-8");
    EXPECT_EQ(h.get("/api/me", member(first, "token")).status, 200);
    EXPECT_EQ(errorOf(h.redeem(code)), site::messages::kBadLinkCode);

    const std::string late = h.issueCode("alice");
    h.now += site::kLinkCodeLifetimeSeconds;
    const auto expired = h.redeem(late);
    EXPECT_EQ(expired.status, 400);
    EXPECT_EQ(errorOf(expired), site::messages::kBadLinkCode);
}

TEST(LinkCodes, WrongAndMalformedCodesAreRefusedWithASentence) {
    Harness h;
    h.addUser("alice");
    h.issueCode("alice");
    int address = 0;  // each from its own address, under the attempt limit
    for (const char* code : {"", "ACDE-3479", "0000-0000", "ABCDEFGHIJKLMNOPQRSTUVWX", "\xd0\x9a\xd0\xbe\xd0\xb4"}) {
        const auto answer = h.redeem(code, "203.0.113." + std::to_string(++address));
        EXPECT_EQ(answer.status, 400) << code;
        EXPECT_EQ(errorOf(answer), site::messages::kBadLinkCode) << code;
    }
    for (const std::string& body : std::vector<std::string>
         {"", "{", "[]", "null", "{\"code\":5}", "{\"cod\":\"x\"}", "\"ACDE3479\"", "{\"code\":null}", "{\"code\":\"a\"} trailing",
          "{\"code\": [1,2,3]}", std::string(16000, '['), std::string(8000, '{'), std::string("\xff\xfe\0\0", 4),
          std::string("{\"code\":\"\xff\xfe\"}")}) {
        auto request = site_test::request("POST", "/api/link/redeem", body);
        request.remoteAddress = "203.0.113." + std::to_string(++address);
        const auto answer = h.site.handle(request);
        EXPECT_EQ(answer.status, 400) << body;
        EXPECT_EQ(errorOf(answer), site::messages::kBadLinkRequest) << body;
    }
}

TEST(LinkCodes, RedeemingIsLimitedPerAddress) {
    Harness h;
    h.addUser("alice");
    for (int i = 0; i < site::kAttemptsPerWindow; ++i) EXPECT_EQ(h.redeem("ACDE-3479", "192.0.2.1").status, 400);
    const std::string code = h.issueCode("alice");
    const auto limited = h.redeem(code, "192.0.2.1");
    EXPECT_EQ(limited.status, 429);
    EXPECT_EQ(errorOf(limited), site::messages::kTooManyAttempts);
    // Another address is not affected, and the code was not used up.
    EXPECT_EQ(h.redeem("ACDE-3479", "192.0.2.2").status, 400);
    h.now += site::kAttemptWindowSeconds;
    EXPECT_EQ(h.redeem(code, "192.0.2.1").status, 200);
}

TEST(Notifications, NewestFirstAndEmptyWhenNone) {
    Harness h;
    EXPECT_EQ(h.get("/api/notifications").body, "[]");
    h.store.addNews("Первая", "Старая новость", h.now);
    h.store.addNews("Вторая", "Новая новость", h.now + 10);
    h.store.addNews("Третья", "В ту же секунду", h.now + 10);
    const auto items = nlohmann::json::parse(h.get("/api/notifications").body);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (nlohmann::json{{"title", "Третья"}, {"body", "В ту же секунду"}}));
    EXPECT_EQ(items[1]["title"], "Вторая");
    EXPECT_EQ(items[2]["title"], "Первая");
}

TEST(Profile, AnswersWithNamePlanCountAndLimitForAnyFormOfTheToken) {
    Harness h;
    h.addUser("alice");
    h.addUser("bob", true);
    const std::string token = h.linkToken("alice");
    EXPECT_EQ(nlohmann::json::parse(h.get("/api/me", token).body),
              (nlohmann::json{{"username", "alice"}, {"pro", false}, {"used", 0}, {"limit", 30}}));
    const auto bob = nlohmann::json::parse(h.get("/api/me", h.linkToken("bob")).body);
    EXPECT_EQ(bob["pro"], true);
    EXPECT_EQ(bob["limit"], 1000);

    const struct {
        std::string authorization;
        int status;
        const char* error;
    } cases[] = {
        {"bearer  " + token, 200, "(none)"},
        {"", 401, site::messages::kNoToken},
        {"Bearer " + site::newSecret(), 401, site::messages::kBadToken},
        {"Bearer short", 401, site::messages::kBadToken},
        {"Basic YWxpY2U6c2VjcmV0", 401, site::messages::kNoToken},
    };
    for (const auto& c : cases) {
        auto request = site_test::request("GET", "/api/me");
        if (!c.authorization.empty()) request.headers["authorization"] = c.authorization;
        const auto answer = h.site.handle(request);
        EXPECT_EQ(answer.status, c.status) << c.authorization;
        EXPECT_EQ(errorOf(answer), c.error) << c.authorization;
    }
}

TEST(Uploads, CountTowardsTheUtcDayEvenWhenDeleted) {
    Harness h;
    const auto alice = h.addUser("alice");
    const std::string token = h.linkToken("alice");
    h.now = site_test::kStartTime + site::kSecondsPerDay - 2;  // 23:59:58
    EXPECT_TRUE(h.store.deleteShot(alice, h.uploadedShot(token, 1)));
    h.now += 1;  // 23:59:59
    EXPECT_NE(h.uploadedShot(token, 2), "");
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "2");
    h.now += 1;  // 00:00:00 the next day
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "0");
    EXPECT_NE(h.uploadedShot(token, 3), "");
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST(Uploads, TheThirtyFirstOfADayIsRefusedUnlessPro) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    for (int i = 0; i < site::kFreeDailyLimit; ++i) ASSERT_NE(h.uploadedShot(token, i), "") << i;
    const auto refused = h.upload(token, makePng(2, 2, 99));
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(errorOf(refused), site::messages::kDailyLimit);
    // Known from the headers alone, so the body need not be read.
    auto next = site_test::request("POST", "/api/shots");
    next.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/png"}, {"content-length", "100"}};
    const auto admission = h.site.admit(next);
    ASSERT_TRUE(admission.refusal);
    EXPECT_EQ(admission.refusal->status, 429);
    EXPECT_EQ(h.store.shotsOf(h.store.userByName("alice")->id).size(), 30u);
    h.addUser("bob", true);  // a pro account goes past thirty
    const std::string pro = h.linkToken("bob");
    for (int i = 0; i <= site::kFreeDailyLimit; ++i) ASSERT_NE(h.uploadedShot(pro, i), "") << i;
}

TEST(Uploads, ConcurrentUploadsNeverPassTheLimit) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const std::string png = makePng(8, 8);
    std::atomic<int> accepted{0}, limited{0};
    {
        std::vector<std::jthread> uploaders;
        for (int i = 0; i < 50; ++i) {
            uploaders.emplace_back([&] {
                const int status = h.upload(token, png).status;
                if (status == 200) ++accepted;
                if (status == 429) ++limited;
            });
        }
    }
    EXPECT_EQ(accepted, 30);
    EXPECT_EQ(limited, 20);
    const auto files = std::filesystem::directory_iterator(h.folder.path() / "shots");
    EXPECT_EQ(std::distance(begin(files), end(files)), 30);
}

TEST(Uploads, EachRefusalHasItsOwnSentence) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const std::string png = makePng(8, 8);

    EXPECT_EQ(errorOf(h.upload(site::newSecret(), png)), site::messages::kBadToken);
    for (const std::string& body : {std::string(), std::string("hello"), png.substr(0, png.size() - 1),
                                    png.substr(0, 40), std::string("GIF89a") + png}) {
        const auto answer = h.upload(token, body);
        EXPECT_EQ(answer.status, 415);
        EXPECT_EQ(errorOf(answer), site::messages::kNotPng);
    }
    auto wrongType = site_test::request("POST", "/api/shots", png);
    wrongType.headers["authorization"] = "Bearer " + token;
    wrongType.headers["content-type"] = "image/jpeg";
    EXPECT_EQ(h.site.handle(wrongType).status, 415);

    const auto atLimit = h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes));
    EXPECT_EQ(atLimit.status, 200) << atLimit.body;
    const auto over = h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes + 1));
    EXPECT_EQ(over.status, 413);
    EXPECT_EQ(errorOf(over), site::messages::kShotTooLarge);
    auto cut = site_test::request("POST", "/api/shots");
    cut.headers["authorization"] = "Bearer " + token;
    cut.headers["content-type"] = "image/png";
    cut.bodyTooLarge = true;
    EXPECT_EQ(errorOf(h.site.handle(cut)), site::messages::kShotTooLarge);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST(ShotLinks, ServedByteForByteUntilTheyExpireThenSwept) {
    Harness h;
    h.addUser("alice");
    const std::string png = makePng(32, 32, 5);
    const std::string url = member(h.upload(h.linkToken("alice"), png), "url");
    ASSERT_TRUE(url.starts_with(std::string(site_test::kPublicUrl) + "/s/")) << url;
    const std::string id = url.substr(url.rfind('/') + 1);
    const auto served = h.get("/s/" + id);
    EXPECT_EQ(site_test::bodyOf(served), png);
    EXPECT_EQ(served.contentType, "image/png");
    EXPECT_EQ(headerOf(served, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(h.site.handle(site_test::request("HEAD", "/s/" + id)).status, 200);

    const auto file = h.files.pathOf(id);
    h.now += site::kShotLifetimeSeconds - 1;
    const auto lastSecond = h.get("/s/" + id);
    EXPECT_EQ(lastSecond.status, 200);
    EXPECT_EQ(headerOf(lastSecond, "Cache-Control"), "private, max-age=1");
    h.site.sweep();
    EXPECT_TRUE(std::filesystem::exists(file));

    h.now += 1;
    const auto expired = h.get("/s/" + id);
    EXPECT_EQ(expired.status, 410);
    EXPECT_EQ(expired.contentType, "text/html; charset=utf-8");
    EXPECT_NE(expired.body.find(site::messages::kShotExpired), std::string::npos);
    EXPECT_EQ(headerOf(expired, "Cache-Control"), "no-store");

    h.site.sweep();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_FALSE(h.store.hasShot(id));
    EXPECT_EQ(h.get("/s/" + id).status, 404);
}

TEST(ShotLinks, PathTricksNeverReachAFile) {
    Harness h;
    h.addUser("alice");
    const std::string id = h.uploadedShot(h.linkToken("alice"));
    for (const std::string& path : std::vector<std::string>
         {std::string("/s/"), "/s/" + id + ".png", "/s/" + id + "/", "/s/../shots/" + id, "/s/" + id.substr(0, 31),
          "/s/" + id + "0", std::string("/s/../../etc/passwd"), std::string("/s/..%2f..%2fsite.db"), "/s/" + std::string(32, '.'),
          "/s/" + std::string(1, '\0') + id.substr(1), "/s//" + id, "/s/" + id + "?x", "/S/" + id}) {
        const auto answer = h.get(path);
        EXPECT_EQ(answer.status, 404) << path;
        EXPECT_NE(answer.contentType, "image/png") << path;
    }
}

TEST(HostileInput, WrongMethodsAre405WithTheAllowedOnesAndUnknownPaths404) {
    Harness h;
    const struct {
        const char* method;
        const char* path;
        int status;
        const char* allowed;
    } cases[] = {
        {"GET", "/api/link/redeem", 405, "POST"}, {"DELETE", "/api/me", 405, "GET, HEAD"},
        {"PUT", "/api/shots", 405, "POST"},       {"POST", "/api/notifications", 405, "GET, HEAD"},
        {"POST", "/s/00", 405, "GET, HEAD"},      {"PATCH", "/account", 405, "GET, HEAD"},
        {"GET", "/account/sign-in", 405, "POST"}, {"BREW", "/api/me", 405, "GET, HEAD"},
        {"GET", "/api/nothing", 404, "(none)"},   {"GET", "/api/me/", 404, "(none)"},
        {"GET", "/site.db", 404, "(none)"},       {"GET", "", 404, "(none)"},
    };
    for (const auto& c : cases) {
        const auto answer = h.send(c.method, c.path);
        EXPECT_EQ(answer.status, c.status) << c.method << ' ' << c.path;
        EXPECT_EQ(headerOf(answer, "Allow"), c.allowed) << c.method << ' ' << c.path;
    }
    EXPECT_EQ(errorOf(h.send("DELETE", "/api/me")), site::messages::kMethodNotAllowed);
    EXPECT_EQ(errorOf(h.send("GET", "/api/nothing")), site::messages::kNotFound);
}

TEST(HostileInput, BodiesAreJudgedByTheirHeadersBeforeAByteIsRead) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const struct {
        const char* method;
        const char* path;
        const char* length;
        bool token;
        int refusal;  // 0: the body is read
        std::size_t limit;
    } cases[] = {
        {"POST", "/api/link/redeem", "16384", false, 0, site::kMaxSmallBody},
        {"POST", "/api/link/redeem", "16385", false, 413, 0},
        {"GET", "/api/me", "5", true, 400, 0},
        {"POST", "/nowhere", "5", false, 404, 0},
        {"PUT", "/api/shots", "5", true, 405, 0},
        {"POST", "/api/shots", "100", false, 401, 0},
        {"POST", "/api/shots", "12582913", true, 413, 0},
        {"POST", "/api/shots", "12582912", true, 0, site::kMaxShotBytes},
    };
    for (const auto& c : cases) {
        auto request = site_test::request(c.method, c.path);
        request.headers["content-length"] = c.length;
        request.headers["content-type"] = "image/png";
        if (c.token) request.headers["authorization"] = "Bearer " + token;
        const auto admission = h.site.admit(request);
        EXPECT_EQ(admission.refusal ? admission.refusal->status : 0, c.refusal) << c.method << ' ' << c.path;
        EXPECT_EQ(admission.bodyLimit, c.limit) << c.path;
        EXPECT_EQ(admission.upload != nullptr, c.limit == site::kMaxShotBytes) << c.path;
    }
    auto cut = site_test::request("POST", "/api/link/redeem");
    cut.bodyTooLarge = true;
    EXPECT_EQ(errorOf(h.site.handle(cut)), site::messages::kRequestTooLarge);
}

TEST(HostileInput, StatusesOfTheHttpLayerGetSentences) {
    EXPECT_EQ(errorOf(site::fallbackResponse(413, "/api/shots")), site::messages::kShotTooLarge);
    EXPECT_EQ(errorOf(site::fallbackResponse(413, "/account")), site::messages::kRequestTooLarge);
    EXPECT_EQ(errorOf(site::fallbackResponse(400, "/")), site::messages::kBadRequest);
    EXPECT_EQ(errorOf(site::fallbackResponse(431, "/")), site::messages::kHeadersTooLarge);
    EXPECT_EQ(errorOf(site::fallbackResponse(500, "/")), site::messages::kInternal);
}

}  // namespace
