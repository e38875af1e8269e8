// The program's four messages and the shot links, through Site::handle with
// a hand-moved clock.

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

std::string shotIdOf(const site::SiteResponse& response) {
    const std::string url = member(response, "url");
    const std::string prefix = std::string(site_test::kPublicUrl) + "/s/";
    return url.starts_with(prefix) ? url.substr(prefix.size()) : std::string();
}

TEST(LinkCodes, CodeGivesATokenOnceOnly) {
    Harness h;
    h.addUser("alice");
    const std::string code = h.issueCode("alice");
    const auto first = h.redeem(code);
    ASSERT_EQ(first.status, 200) << first.body;
    const std::string token = member(first, "token");
    EXPECT_TRUE(site::looksLikeSecret(token));
    EXPECT_EQ(first.contentType, "application/json; charset=utf-8");
    EXPECT_EQ(h.get("/api/me", token).status, 200);

    const auto again = h.redeem(code);
    EXPECT_EQ(again.status, 400);
    EXPECT_EQ(errorOf(again), site::messages::kBadLinkCode);
}

TEST(LinkCodes, TypedVariantsOfTheCodeAreAccepted) {
    Harness h;
    h.addUser("alice");
    std::string code = h.issueCode("alice");
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(h.redeem(" " + code + " ").status, 200);
}

TEST(LinkCodes, ANewCodeReplacesTheLastAndCodesExpireAfterTenMinutes) {
    Harness h;
    h.addUser("alice");
    const std::string replaced = h.issueCode("alice");
    const std::string lastSecond = h.issueCode("alice");
    h.now += site::kLinkCodeLifetimeSeconds - 1;
    EXPECT_EQ(h.redeem(replaced).status, 400);
    EXPECT_EQ(h.redeem(lastSecond).status, 200);
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
    for (const char* code : {"", "ACDE-3479", "0000-0000", "ABCDEFGHIJKLMNOPQRSTUVWX", "\xd0\x9a\xd0\xbe\xd0\xb4"}) {
        const auto answer = h.redeem(code, std::string("203.0.113.") + std::to_string(std::strlen(code)));
        EXPECT_EQ(answer.status, 400) << code;
        EXPECT_EQ(errorOf(answer), site::messages::kBadLinkCode) << code;
    }
    for (const char* body : {"", "{", "[]", "null", "{\"code\":5}", "{\"cod\":\"x\"}", "\"ACDE3479\"", "{\"code\":null}",
                             "{\"code\":\"a\"} trailing"}) {
        auto request = site_test::request("POST", "/api/link/redeem", body);
        request.remoteAddress = std::string("203.0.113.100") + body;
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
    const auto none = h.get("/api/notifications");
    EXPECT_EQ(none.status, 200);
    EXPECT_EQ(none.body, "[]");
    h.store.addNews("Первая", "Старая новость", h.now);
    h.store.addNews("Вторая", "Новая новость", h.now + 10);
    h.store.addNews("Третья", "В ту же секунду", h.now + 10);
    const auto items = nlohmann::json::parse(h.get("/api/notifications").body);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (nlohmann::json{{"title", "Третья"}, {"body", "В ту же секунду"}}));
    EXPECT_EQ(items[1]["title"], "Вторая");
    EXPECT_EQ(items[2]["title"], "Первая");
}

TEST(Profile, AnswersWithNamePlanCountAndLimit) {
    Harness h;
    h.addUser("alice");
    h.addUser("bob", true);
    const auto alice = nlohmann::json::parse(h.get("/api/me", h.linkToken("alice")).body);
    EXPECT_EQ(alice, (nlohmann::json{{"username", "alice"}, {"pro", false}, {"used", 0}, {"limit", 30}}));
    const auto bob = nlohmann::json::parse(h.get("/api/me", h.linkToken("bob")).body);
    EXPECT_EQ(bob["pro"], true);
    EXPECT_EQ(bob["limit"], site::kProDailyLimit);
}

TEST(Profile, MissingUnknownAndMalformedTokensAre401) {
    Harness h;
    h.addUser("alice");
    h.linkToken("alice");
    const auto missing = h.get("/api/me");
    EXPECT_EQ(missing.status, 401);
    EXPECT_EQ(errorOf(missing), site::messages::kNoToken);
    EXPECT_EQ(errorOf(h.get("/api/me", site::newSecret())), site::messages::kBadToken);
    EXPECT_EQ(h.get("/api/me", "short").status, 401);
    auto basic = site_test::request("GET", "/api/me");
    basic.headers["authorization"] = "Basic YWxpY2U6c2VjcmV0";
    EXPECT_EQ(h.site.handle(basic).status, 401);
}

TEST(Profile, RevokedDeviceLosesAccessOthersKeepIt) {
    Harness h;
    const auto alice = h.addUser("alice");
    const std::string first = h.linkToken("alice");
    const std::string second = h.linkToken("alice");
    const auto devices = h.store.devicesOf(alice);
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_TRUE(h.store.revokeDevice(alice, devices[0].id));
    EXPECT_EQ(h.get("/api/me", first).status, 401);
    EXPECT_EQ(h.get("/api/me", second).status, 200);
}

TEST(Profile, TokenIsAcceptedWithTheSchemeInAnyCase) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    auto lower = site_test::request("GET", "/api/me");
    lower.headers["authorization"] = "bearer  " + token;
    EXPECT_EQ(h.site.handle(lower).status, 200);
}

TEST(Uploads, CountTowardsTheUtcDay) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    h.now = site_test::kStartTime + site::kSecondsPerDay - 2;  // 23:59:58
    EXPECT_EQ(h.upload(token, makePng(4, 4, 1)).status, 200);
    h.now += 1;  // 23:59:59
    EXPECT_EQ(h.upload(token, makePng(4, 4, 2)).status, 200);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "2");
    h.now += 1;  // 00:00:00 the next day
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "0");
    EXPECT_EQ(h.upload(token, makePng(4, 4, 3)).status, 200);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST(Uploads, TheThirtyFirstOfADayIsRefused) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    for (int i = 0; i < site::kFreeDailyLimit; ++i) ASSERT_EQ(h.upload(token, makePng(2, 2, i)).status, 200) << i;
    const auto refused = h.upload(token, makePng(2, 2, 99));
    EXPECT_EQ(refused.status, 429);
    EXPECT_EQ(errorOf(refused), site::messages::kDailyLimit);
    // Known from the headers alone, so the body need not be read.
    auto next = site_test::request("POST", "/api/shots");
    next.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/png"}, {"content-length", "100"}};
    const auto admission = h.site.admit(next);
    ASSERT_TRUE(admission.refusal);
    EXPECT_EQ(admission.refusal->status, 429);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "30");
    EXPECT_EQ(h.store.shotsOf(h.store.userByName("alice")->id).size(), 30u);
}

TEST(Uploads, DeletingAShotDoesNotGiveTheUploadBack) {
    Harness h;
    const auto alice = h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const std::string id = shotIdOf(h.upload(token, makePng(2, 2)));
    ASSERT_TRUE(h.store.deleteShot(alice, id));
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST(Uploads, ConcurrentUploadsNeverPassTheLimit) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const std::string png = makePng(8, 8);
    std::atomic<int> accepted{0}, limited{0};
    std::vector<std::thread> uploaders;
    for (int i = 0; i < 50; ++i) {
        uploaders.emplace_back([&] {
            const int status = h.upload(token, png).status;
            if (status == 200) ++accepted;
            if (status == 429) ++limited;
        });
    }
    for (auto& uploader : uploaders) uploader.join();
    EXPECT_EQ(accepted, 30);
    EXPECT_EQ(limited, 20);
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(h.folder.path() / "shots")) ++files;
    EXPECT_EQ(files, 30);
}

TEST(Uploads, EachRefusalHasItsOwnSentence) {
    Harness h;
    h.addUser("alice");
    const std::string token = h.linkToken("alice");
    const std::string png = makePng(8, 8);

    EXPECT_EQ(errorOf(h.upload(site::newSecret(), png)), site::messages::kBadToken);
    auto noToken = site_test::request("POST", "/api/shots", png);
    noToken.headers["content-type"] = "image/png";
    EXPECT_EQ(h.site.handle(noToken).status, 401);

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

TEST(ShotLinks, ServedByteForByteWithSafeHeaders) {
    Harness h;
    h.addUser("alice");
    const std::string png = makePng(32, 32, 5);
    const auto uploaded = h.upload(h.linkToken("alice"), png);
    const std::string id = shotIdOf(uploaded);
    ASSERT_TRUE(site::isShotId(id)) << uploaded.body;
    const auto served = h.get("/s/" + id);
    EXPECT_EQ(served.status, 200);
    EXPECT_EQ(site_test::bodyOf(served), png);
    EXPECT_EQ(served.contentType, "image/png");
    EXPECT_EQ(headerOf(served, "X-Content-Type-Options"), "nosniff");
    EXPECT_EQ(h.site.handle(site_test::request("HEAD", "/s/" + id)).status, 200);
}

TEST(ShotLinks, ExpireAfterFourteenDaysAndTheSweepDeletesThem) {
    Harness h;
    h.addUser("alice");
    const std::string id = shotIdOf(h.upload(h.linkToken("alice"), makePng(4, 4)));
    const auto file = h.files.pathOf(id);
    ASSERT_TRUE(std::filesystem::exists(file));

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
    const std::string id = shotIdOf(h.upload(h.linkToken("alice"), makePng(4, 4)));
    std::filesystem::create_directories(h.folder.path() / "shots");
    for (const std::string& path : std::vector<std::string>
         {std::string("/s/"), "/s/" + id + ".png", "/s/" + id + "/", "/s/../shots/" + id, "/s/" + id.substr(0, 31),
          "/s/" + id + "0", std::string("/s/../../etc/passwd"), std::string("/s/..%2f..%2fsite.db"), "/s/" + std::string(32, '.'),
          "/s/" + std::string(1, '\0') + id.substr(1), "/s//" + id, "/s/" + id + "?x", "/S/" + id}) {
        const auto answer = h.get(path);
        EXPECT_EQ(answer.status, 404) << path;
        EXPECT_NE(answer.contentType, "image/png") << path;
    }
}

}  // namespace
