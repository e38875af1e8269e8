// The program's four messages, the shot links and requests no client should
// send, through Site::handle with a hand-moved clock.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "messages.h"
#include "quota.h"
#include "secrets.h"
#include "support/site_harness.h"
#include "support/test_png.h"

namespace {

using site_test::errorOf;
using site_test::headerOf;
using site_test::makePng;
using site_test::member;

// Alice, a free account, with a linked device.
struct Api : ::testing::Test {
    site_test::Harness h;
    std::int64_t alice = h.addUser("alice");
    std::string token = h.linkToken("alice");
};

// A code is typed in any case with spaces and redeemed once; a request that
// carries no code is refused with its own sentence. Which codes are live is
// the store's to say.
TEST_F(Api, LinkCodesRedeemOnceAsTypedAndMalformedRequestsAreRefused) {
    std::string code = h.issueCode("alice");
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(h.get("/api/me", member(h.redeem(" " + code + " "), "token")).status, 200);
    EXPECT_EQ(errorOf(h.redeem(code)), site::messages::kBadLinkCode);
    int address = 0;  // each from its own address, under the attempt limit
    for (const std::string& body : std::vector<std::string>
         {"", "[]", "{\"code\":5}", "\"ACDE3479\"", "{\"code\":\"a\"} trailing", std::string(16000, '['),
          std::string("\xff\xfe\0\0", 4), std::string("{\"code\":\"\xff\xfe\"}")}) {
        auto request = site_test::request("POST", "/api/link/redeem", body);
        request.remoteAddress = "203.0.113." + std::to_string(++address);
        EXPECT_EQ(errorOf(h.site.handle(request)), site::messages::kBadLinkRequest) << body;
    }
}

TEST_F(Api, NotificationsNewestFirstAndEmptyWhenNone) {
    EXPECT_EQ(h.get("/api/notifications").body, "[]");
    h.store.addNews("Первая", "Старая новость", h.now);
    h.store.addNews("Вторая", "Новая новость", h.now + 10);
    EXPECT_EQ(nlohmann::json::parse(h.get("/api/notifications").body),
              nlohmann::json::parse(R"([{"title":"Вторая","body":"Новая новость"},
                                        {"title":"Первая","body":"Старая новость"}])"));
}

// Uploads count towards the UTC day they were made on, deleted or not.
TEST_F(Api, ProfileAnswersWithNamePlanCountAndLimitForAnyFormOfTheToken) {
    EXPECT_EQ(nlohmann::json::parse(h.get("/api/me", token).body),
              (nlohmann::json{{"username", "alice"}, {"pro", false}, {"used", 0}, {"limit", 30}}));
    h.addUser("bob", true);
    EXPECT_EQ(member(h.get("/api/me", h.linkToken("bob")), "limit"), "1000");
    const auto withAuthorization = [&](const std::string& authorization) {
        auto request = site_test::request("GET", "/api/me");
        request.headers["authorization"] = authorization;
        return errorOf(h.site.handle(request));
    };
    EXPECT_EQ(withAuthorization("bearer  " + token), "(none)");
    EXPECT_EQ(withAuthorization("Bearer " + site::newSecret()), site::messages::kBadToken);
    EXPECT_EQ(withAuthorization("Basic YWxpY2U6c2VjcmV0"), site::messages::kNoToken);
    EXPECT_EQ(errorOf(h.get("/api/me")), site::messages::kNoToken);

    h.now = site_test::kStartTime + site::kSecondsPerDay - 1;  // 23:59:59
    EXPECT_TRUE(h.store.deleteShot(alice, h.uploadedShot(token, 1)));
    EXPECT_NE(h.uploadedShot(token, 2), "");
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "2");
    h.now += 1;  // 00:00:00 the next day
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "0");
}

TEST_F(Api, TheThirtyFirstUploadOfADayIsRefusedUnlessPro) {
    for (int i = 0; i < 30; ++i) ASSERT_NE(h.uploadedShot(token, i), "") << i;
    EXPECT_EQ(errorOf(h.upload(token, makePng(2, 2, 99))), site::messages::kDailyLimit);
    // Known from the headers alone, so the body need not be read.
    auto next = site_test::request("POST", "/api/shots");
    next.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/png"}, {"content-length", "100"}};
    ASSERT_TRUE(h.site.admit(next).refusal);
    h.addUser("bob", true);
    const std::string pro = h.linkToken("bob");
    for (int i = 0; i <= 30; ++i) ASSERT_NE(h.uploadedShot(pro, i), "") << i;
}

TEST_F(Api, EachUploadRefusalHasItsOwnSentence) {
    const std::string png = makePng(8, 8);
    EXPECT_EQ(errorOf(h.upload(site::newSecret(), png)), site::messages::kBadToken);
    for (const std::string& body : {std::string(), png.substr(0, png.size() - 1), std::string("GIF89a") + png})
        EXPECT_EQ(errorOf(h.upload(token, body)), site::messages::kNotPng);
    auto wrongType = site_test::request("POST", "/api/shots", png);
    wrongType.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/jpeg"}};
    EXPECT_EQ(h.site.handle(wrongType).status, 415);
    EXPECT_EQ(h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes)).status, 200);
    EXPECT_EQ(errorOf(h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes + 1))), site::messages::kShotTooLarge);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST_F(Api, ShotLinksServedByteForByteUntilTheyExpireThenSwept) {
    const std::string png = makePng(32, 32, 5);
    const std::string url = member(h.upload(token, png), "url");
    ASSERT_TRUE(url.starts_with(std::string(site_test::kPublicUrl) + "/s/")) << url;
    const std::string id = url.substr(url.rfind('/') + 1);
    const auto served = h.get("/s/" + id);
    EXPECT_EQ(site_test::bodyOf(served), png);
    EXPECT_EQ(served.contentType, "image/png");
    EXPECT_EQ(headerOf(served, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(h.send("HEAD", "/s/" + id).status, 200);

    const auto file = h.files.pathOf(id);
    h.now += site::kShotLifetimeSeconds - 1;
    EXPECT_EQ(headerOf(h.get("/s/" + id), "Cache-Control"), "private, max-age=1");
    h.site.sweep();
    EXPECT_TRUE(std::filesystem::exists(file));
    h.now += 1;
    const auto expired = h.get("/s/" + id);
    EXPECT_EQ(expired.status, 410);
    EXPECT_NE(expired.body.find(site::messages::kShotExpired), std::string::npos);
    h.site.sweep();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(h.get("/s/" + id).status, 404);
}

TEST_F(Api, ShotLinkPathTricksNeverReachAFile) {
    const std::string id = h.uploadedShot(token);
    for (const std::string& path : std::vector<std::string>
         {std::string("/s/"), "/s/" + id + ".png", "/s/" + id + "/", "/s/../shots/" + id, "/s/" + id.substr(0, 31),
          std::string("/s/..%2f..%2fsite.db"), "/s/" + std::string(32, '.'), "/s/" + std::string(1, '\0') + id.substr(1),
          "/s//" + id, "/s/" + id + "?x", "/S/" + id}) {
        const auto answer = h.get(path);
        EXPECT_EQ(answer.status, 404) << path;
        EXPECT_NE(answer.contentType, "image/png") << path;
    }
}

TEST_F(Api, WrongMethodsAre405WithTheAllowedOnesAndUnknownPaths404) {
    const struct {
        const char* method;
        const char* path;
        int status;
        const char* allowed;
    } cases[] = {
        {"GET", "/api/link/redeem", 405, "POST"}, {"DELETE", "/api/me", 405, "GET, HEAD"},
        {"POST", "/s/00", 405, "GET, HEAD"},      {"BREW", "/account", 405, "GET, HEAD"},
        {"GET", "/api/me/", 404, "(none)"},       {"GET", "", 404, "(none)"},
    };
    for (const auto& c : cases) {
        const auto answer = h.send(c.method, c.path);
        EXPECT_EQ(answer.status, c.status) << c.method << ' ' << c.path;
        EXPECT_EQ(headerOf(answer, "Allow"), c.allowed) << c.method << ' ' << c.path;
    }
    EXPECT_EQ(errorOf(h.send("DELETE", "/api/me")), site::messages::kMethodNotAllowed);
    EXPECT_EQ(errorOf(h.send("GET", "/api/nothing")), site::messages::kNotFound);
    EXPECT_EQ(errorOf(site::fallbackResponse(431, "/")), site::messages::kHeadersTooLarge);
}

TEST_F(Api, BodiesAreJudgedByTheirHeadersBeforeAByteIsRead) {
    const struct {
        const char* method;
        const char* path;
        const char* length;
        int refusal;  // 0: the body is read, up to the limit
        std::size_t limit;
    } cases[] = {
        {"POST", "/api/link/redeem", "16384", 0, site::kMaxSmallBody},
        {"POST", "/api/link/redeem", "16385", 413, 0},
        {"GET", "/api/me", "5", 400, 0},
        {"POST", "/api/shots", "12582913", 413, 0},
        {"POST", "/api/shots", "12582912", 0, site::kMaxShotBytes},
    };
    for (const auto& c : cases) {
        auto request = site_test::request(c.method, c.path);
        request.headers = {{"content-length", c.length}, {"content-type", "image/png"}, {"authorization", "Bearer " + token}};
        const auto admission = h.site.admit(request);
        EXPECT_EQ(admission.refusal ? admission.refusal->status : 0, c.refusal) << c.method << ' ' << c.path;
        EXPECT_EQ(admission.bodyLimit, c.limit) << c.path;
        EXPECT_EQ(admission.upload != nullptr, c.limit == site::kMaxShotBytes) << c.path;
    }
    // A body cut at its limit is answered by the route's own sentence.
    auto cut = site_test::request("POST", "/api/link/redeem");
    cut.bodyTooLarge = true;
    EXPECT_EQ(errorOf(h.site.handle(cut)), site::messages::kRequestTooLarge);
    cut.path = "/api/shots";
    cut.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/png"}};
    EXPECT_EQ(errorOf(h.site.handle(cut)), site::messages::kShotTooLarge);
}

}  // namespace
