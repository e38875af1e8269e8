// The program's four messages, the shot links, the account pages as a
// browser uses them and requests no client should send, through Site::handle
// with a hand-moved clock; and the upload day.

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <regex>

#include "security/link_code.h"
#include "security/sign_in_throttle.h"
#include "support/site_harness.h"
#include "web/accounts.h"
#include "web/messages.h"
#include "web/quota.h"

namespace {

using namespace site_test;

// The first group of `pattern` in `text`, or "(none)".
std::string firstMatch(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : "(none)";
}

std::string headerOf(const site::SiteResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers)
        if (key == name) return value;
    return "(none)";
}

// A Site over an in-memory store, a scratch folder and a hand-moved clock,
// with the requests the program sends.
struct Harness {
    site_test::ScratchFolder folder;
    std::atomic<std::int64_t> now{site_test::kStartTime};
    site::SqliteStore store{":memory:"};
    site::ShotFiles files{folder.path() / "shots", false};
    site::Site site{store, files, [this] { return now.load(); }, site_test::kPublicUrl, site_test::kTestIterations};
    int linked = 0;

    std::int64_t addUser(const std::string& name, bool pro = false, const std::string& password = "secret-word") {
        return site::createUser(store, name, password, pro, now, site_test::kTestIterations);
    }
    std::string issueCode(const std::string& name) {
        return site::formatLinkCode(site::issueLinkCode(store, store.userByName(name)->id, now));
    }
    site::SiteResponse send(const std::string& method, const std::string& path, const std::string& body = "",
                            const std::string& token = "") {
        auto built = site_test::request(method, path, body);
        if (!token.empty()) built.headers["authorization"] = "Bearer " + token;
        return site.handle(built);
    }
    site::SiteResponse get(const std::string& path, const std::string& token = "") { return send("GET", path, "", token); }
    site::SiteResponse redeem(const std::string& code, const std::string& address = kClientAddress) {
        return site.handle({"POST", "/api/link/redeem", {}, address, nlohmann::json{{"code", code}}.dump()});
    }
    // A redeemed token, from an address of its own.
    std::string linkToken(const std::string& name) {
        return member(redeem(issueCode(name), "198.51.100." + std::to_string(++linked)), "token");
    }
    site::SiteResponse upload(const std::string& token, const std::string& png) {
        return site.handle({"POST", "/api/shots", {{"content-type", "image/png"}, {"authorization", "Bearer " + token}},
                            kClientAddress, png});
    }
    // Uploads a small PNG: the new shot's id, or "" when it was refused.
    std::string uploadedShot(const std::string& token, std::uint32_t seed = 0) {
        const std::string url = member(upload(token, makePng(4, 4, seed)), "url");
        const std::string prefix = std::string(site_test::kPublicUrl) + "/s/";
        return url.starts_with(prefix) ? url.substr(prefix.size()) : "";
    }
};

// Alice, a free account, with a linked device.
struct Api : ::testing::Test {
    Harness h;
    std::int64_t alice = h.addUser("alice", false, "pw");
    std::string token = h.linkToken("alice");
};

// A browser: keeps the cookies the site sets and sends them back. Form
// values are given already encoded.
struct Browser {
    Harness& h;
    std::map<std::string, std::string> cookies;
    std::string address = site_test::kClientAddress;

    site::SiteResponse send(const std::string& method, const std::string& path, const std::string& body = "") {
        auto request = site_test::request(method, path, body);
        request.remoteAddress = address;
        std::string header;
        for (const auto& [name, value] : cookies) header += (header.empty() ? "" : "; ") + name + "=" + value;
        if (!header.empty()) request.headers["cookie"] = header;
        auto response = h.site.handle(request);
        for (const auto& [key, value] : response.headers)
            if (const std::size_t equals = value.find('='); key == "Set-Cookie")
                cookies[value.substr(0, equals)] = value.substr(equals + 1, value.find(';') - equals - 1);
        return response;
    }

    std::string form() { return "form=" + firstMatch(send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\""); }

    site::SiteResponse signIn(const std::string& user, const std::string& password) {
        return send("POST", "/account/sign-in", form() + "&user=" + user + "&password=" + password);
    }

    bool signedIn() { return send("GET", "/account").body.find("action=\"/account/sign-in\"") == std::string::npos; }
};

// A code is typed in any case with spaces and redeemed once (which codes
// are live is the store's to say); a request without one has its sentence.
TEST_F(Api, LinkCodesRedeemOnceAsTypedAndMalformedRequestsAreRefused) {
    std::string code = h.issueCode("alice");
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(h.get("/api/me", member(h.redeem(" " + code + " "), "token")).status, 200);
    EXPECT_EQ(member(h.redeem(code), "error"), site::messages::kBadLinkCode);
    int address = 0;  // each from its own address, under the attempt limit
    for (const std::string& body : std::vector<std::string>
         {"", "[]", "{\"code\":5}", "\"ACDE3479\"", "{\"code\":\"a\"} trailing", std::string(16000, '['),
          std::string("\xff\xfe\0\0", 4), std::string("{\"code\":\"\xff\xfe\"}")}) {
        const auto answer = h.site.handle({"POST", "/api/link/redeem", {}, "203.0.113." + std::to_string(++address), body});
        EXPECT_EQ(member(answer, "error"), site::messages::kBadLinkRequest) << body;
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
        return member(h.site.handle({"GET", "/api/me", {{"authorization", authorization}}, kClientAddress, ""}), "error");
    };
    EXPECT_EQ(withAuthorization("bearer  " + token), "(none)");
    EXPECT_EQ(withAuthorization("Bearer " + site::newSecret()), site::messages::kBadToken);
    EXPECT_EQ(withAuthorization("Basic YWxpY2U6c2VjcmV0"), site::messages::kNoToken);
    EXPECT_EQ(member(h.get("/api/me"), "error"), site::messages::kNoToken);

    h.now = site_test::kStartTime + site::kSecondsPerDay - 1;  // 23:59:59
    EXPECT_TRUE(h.store.deleteShot(alice, h.uploadedShot(token, 1)));
    EXPECT_NE(h.uploadedShot(token, 2), "");
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "2");
    h.now += 1;  // 00:00:00 the next day
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "0");
}

TEST_F(Api, TheThirtyFirstUploadOfADayIsRefusedUnlessPro) {
    for (int i = 0; i < 30; ++i) ASSERT_NE(h.uploadedShot(token, i), "") << i;
    EXPECT_EQ(member(h.upload(token, makePng(2, 2, 99)), "error"), site::messages::kDailyLimit);
    // Known from the headers alone, so the body need not be read.
    const std::map<std::string, std::string> headers = {
        {"authorization", "Bearer " + token}, {"content-type", "image/png"}, {"content-length", "100"}};
    ASSERT_TRUE(h.site.admit({"POST", "/api/shots", headers, kClientAddress, ""}).refusal);
    h.addUser("bob", true);
    const std::string pro = h.linkToken("bob");
    for (int i = 0; i <= 30; ++i) ASSERT_NE(h.uploadedShot(pro, i), "") << i;
}

TEST_F(Api, EachUploadRefusalHasItsOwnSentence) {
    const std::string png = makePng(8, 8);
    for (const std::string& body : {std::string(), png.substr(0, png.size() - 1), std::string("GIF89a") + png})
        EXPECT_EQ(member(h.upload(token, body), "error"), site::messages::kNotPng);
    const std::map<std::string, std::string> jpeg = {{"authorization", "Bearer " + token}, {"content-type", "image/jpeg"}};
    EXPECT_EQ(h.site.handle({"POST", "/api/shots", jpeg, kClientAddress, png}).status, 415);
    EXPECT_EQ(h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes)).status, 200);
    EXPECT_EQ(member(h.upload(token, makePng(8, 8, 1, site::kMaxShotBytes + 1)), "error"), site::messages::kShotTooLarge);
    EXPECT_EQ(member(h.get("/api/me", token), "used"), "1");
}

TEST_F(Api, ShotLinksServedByteForByteUntilTheyExpireThenSwept) {
    const std::string png = makePng(32, 32, 5);
    const std::string url = member(h.upload(token, png), "url");
    ASSERT_TRUE(url.starts_with(std::string(site_test::kPublicUrl) + "/s/")) << url;
    const std::string id = url.substr(url.rfind('/') + 1);
    EXPECT_EQ(h.site.shownPath("/s/" + id), "/s/" + id.substr(0, 6) + "...");  // what the log shows of it
    const auto served = h.get("/s/" + id);
    EXPECT_EQ(site_test::readAll(*served.bodySource), png);
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
    const std::array<const char*, 3> cases[] = {  // no Allow header: an unknown path
        {"GET", "/api/link/redeem", "POST"}, {"DELETE", "/api/me", "GET, HEAD"}, {"POST", "/s/00", "GET, HEAD"},
        {"BREW", "/account", "GET, HEAD"},   {"GET", "/api/me/", "(none)"},       {"GET", "", "(none)"},
    };
    for (const auto& [method, path, allowed] : cases) {
        const auto answer = h.send(method, path);
        EXPECT_EQ(answer.status, allowed[0] == '(' ? 404 : 405) << method << ' ' << path;
        EXPECT_EQ(headerOf(answer, "Allow"), allowed) << method << ' ' << path;
    }
    EXPECT_EQ(member(h.send("DELETE", "/api/me"), "error"), site::messages::kMethodNotAllowed);
    EXPECT_EQ(member(h.send("GET", "/api/nothing"), "error"), site::messages::kNotFound);
    EXPECT_EQ(member(h.site.fallback(431, "/"), "error"), site::messages::kHeadersTooLarge);
}

// Small routes take at most 16 KiB, judged from the headers; a body cut at
// its route's limit is answered with that route's sentence. The shots' own
// limit is judged on the wire.
TEST_F(Api, BodiesAreJudgedByTheirHeadersBeforeAByteIsRead) {
    auto request = site_test::request("POST", "/api/link/redeem");
    request.headers["content-length"] = "16384";
    EXPECT_EQ(h.site.admit(request).bodyLimit, site::kMaxSmallBody);
    request.headers["content-length"] = "16385";
    const auto refused = h.site.admit(request).refusal;
    EXPECT_EQ(refused ? refused->status : 0, 413);
    request.bodyTooLarge = true;
    EXPECT_EQ(member(h.site.handle(request), "error"), site::messages::kRequestTooLarge);
    request.path = "/api/shots";
    request.headers = {{"authorization", "Bearer " + token}, {"content-type", "image/png"}};
    EXPECT_EQ(member(h.site.handle(request), "error"), site::messages::kShotTooLarge);
}

// Names of up to 32 plain characters and a password are needed; the sign-in
// form sets a strict cookie and escapes what it shows; a post without that
// cookie's form token, or any form without a session, is refused as stale; a
// wrong password gets its sentence and no session.
TEST_F(Api, AccountNamesSignInFormsAndPasswords) {
    for (const char* bad : {"", "with space", "имя", "a/b", "toolongtoolongtoolongtoolongtoolong"})
        EXPECT_THROW(h.addUser(bad), std::runtime_error) << bad;
    EXPECT_NO_THROW(h.addUser(std::string(32, 'n')));
    EXPECT_THROW(h.addUser("bob", false, ""), std::runtime_error);
    Browser browser{h, {}};
    const auto page = browser.send("GET", "/account");
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_EQ(headerOf(page, "Cache-Control"), "no-store");
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Path=/"})
        EXPECT_NE(headerOf(page, "Set-Cookie").find(attribute), std::string::npos) << attribute;
    const auto escaped = browser.signIn("<script>\"", "x");
    EXPECT_EQ(escaped.body.find("<script>"), std::string::npos);
    EXPECT_NE(escaped.body.find("&lt;script&gt;&quot;"), std::string::npos);
    for (const char* path : {"/account/sign-out", "/account/shots/delete", "/account/devices/revoke", "/account/sign-in"}) {
        for (const char* body : {"", "form=", "form=%", "shot=../../site.db&device=-1"})
            EXPECT_EQ(h.send("POST", path, body).status, 403) << path << " " << body;
    }
    const auto wrong = browser.signIn("alice", "wrong");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_NE(wrong.body.find(site::messages::kWrongPassword), std::string::npos);
    EXPECT_EQ(browser.cookies.count(site::kSessionCookie), 0u);
    EXPECT_EQ(browser.signIn("alice", "pw").status, 303);
    EXPECT_NE(browser.send("GET", "/account").body.find("Личный кабинет"), std::string::npos);
}

// Alice, signed in from two browsers.
struct SignedIn : Api {
    Browser here{h, {}}, there{h, {}};

    void SetUp() override {
        ASSERT_EQ(here.signIn("alice", "pw").status, 303);
        ASSERT_EQ(there.signIn("alice", "pw").status, 303);
    }
};

TEST_F(SignedIn, PageShowsTheCountShotsDevicesAndANewCode) {
    EXPECT_NE(h.uploadedShot(token, 1), "");
    const std::string id = h.uploadedShot(token, 2);
    h.now += 2 * 3600;
    ASSERT_EQ(h.get("/api/me", token).status, 200);  // the device seen again

    const std::string page = here.send("GET", "/account").body;
    EXPECT_NE(page.find("2 из 30"), std::string::npos);
    EXPECT_NE(page.find("href=\"" + std::string(site_test::kPublicUrl) + "/s/" + id + "\""), std::string::npos);
    EXPECT_NE(page.find("15.01.2026"), std::string::npos);  // expiry of today's shots
    EXPECT_NE(page.find("привязано 01.01.2026 00:00 UTC • активно 01.01.2026 02:00 UTC"), std::string::npos);
    EXPECT_EQ(firstMatch(page, "class=\"code\">([^<]+)<"), "(none)");  // a code only when asked for
    const std::string code =
        firstMatch(here.send("POST", "/account/link-code", here.form()).body, "class=\"code\">([^<]+)<");
    EXPECT_EQ(h.redeem(code, "198.51.100.77").status, 200);
}

// Deleting a shot and revoking a device take the session's form token and
// reach only the signed-in user's own; a device number too long for the
// store is no device.
TEST_F(SignedIn, DeleteAndRevokeOnlyOnesOwnWithTheFormToken) {
    const std::string id = h.uploadedShot(token);
    const std::string shot = "&shot=" + id, number = "&device=" + std::to_string(h.store.devicesOf(alice).at(0).id);
    h.addUser("mallory", false, "pw2");
    Browser mallory{h, {}};
    ASSERT_EQ(mallory.signIn("mallory", "pw2").status, 303);
    mallory.send("POST", "/account/shots/delete", mallory.form() + shot);
    mallory.send("POST", "/account/devices/revoke", mallory.form() + number);
    EXPECT_EQ(here.send("POST", "/account/shots/delete", "form=" + site::newSecret() + shot).status, 403);
    EXPECT_EQ(h.get("/s/" + id).status, 200);
    EXPECT_EQ(h.get("/api/me", token).status, 200);

    const std::string form = here.form();
    EXPECT_EQ(here.send("POST", "/account/shots/delete", form + shot).status, 303);
    EXPECT_FALSE(std::filesystem::exists(h.files.pathOf(id)));
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", form + "&device=9999999999999999999").status, 303);
    EXPECT_EQ(h.get("/api/me", token).status, 200);
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", form + number).status, 303);
    EXPECT_EQ(h.get("/api/me", token).status, 401);
}

// Signing out ends that session only; sessions also end after their week;
// signing out everywhere ends them all but links no device off.
TEST_F(SignedIn, SignOutEndsSessionsButNotTheDevices) {
    Browser thief{h, here.cookies};
    EXPECT_EQ(here.send("POST", "/account/sign-out", here.form()).status, 303);
    EXPECT_FALSE(thief.signedIn());
    EXPECT_TRUE(there.signedIn());
    Browser third{h, {}};
    ASSERT_EQ(third.signIn("alice", "pw").status, 303);
    EXPECT_EQ(there.send("POST", "/account/sign-out-everywhere", there.form()).status, 303);
    EXPECT_FALSE(third.signedIn());
    EXPECT_EQ(h.get("/api/me", token).status, 200);
    ASSERT_EQ(here.signIn("alice", "pw").status, 303);
    h.now += site::kSessionLifetimeSeconds;
    EXPECT_FALSE(here.signedIn());
}

// A new password takes the form token, the current password and the same
// new one twice; it ends the other sessions. Wrong current passwords count
// against the account like failed sign-ins, from wherever they come.
TEST_F(SignedIn, PasswordChangeChecksEverythingAndCountsGuesses) {
    const std::string form = here.form();
    const std::pair<std::string, const char*> refused[] = {
        {"current=pw&new=n&repeat=n", site::messages::kStaleForm},
        {form + "&current=pw&new=n&repeat=N", site::messages::kPasswordsDiffer},
        {form + "&current=pw&new=&repeat=", site::messages::kBadNewPassword},
    };
    for (const auto& [body, sentence] : refused)
        EXPECT_NE(here.send("POST", "/account/password", body).body.find(sentence), std::string::npos) << body;
    const auto changed = here.send("POST", "/account/password", form + "&current=pw&new=new+pw&repeat=new+pw");
    EXPECT_NE(changed.body.find(site::messages::kPasswordChanged), std::string::npos);
    EXPECT_TRUE(here.signedIn());
    EXPECT_FALSE(there.signedIn());
    EXPECT_EQ(there.signIn("alice", "pw").status, 401);
    EXPECT_EQ(there.signIn("alice", "new+pw").status, 303);

    for (int i = 0; i < site::kFreeFailures; ++i) {
        here.address = "203.0.113." + std::to_string(i);
        const auto wrong = here.send("POST", "/account/password", form + "&current=guess&new=n&repeat=n");
        EXPECT_NE(wrong.body.find(site::messages::kWrongCurrentPassword), std::string::npos);
    }
    Browser elsewhere{h, {}};
    const auto waiting = elsewhere.signIn("alice", "new+pw");
    EXPECT_NE(waiting.body.find(std::string(site::messages::kAccountThrottled) + " 1 мин."), std::string::npos);
}

}  // namespace
