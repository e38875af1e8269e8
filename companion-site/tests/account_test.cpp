// The account pages through Site::handle, the way a browser uses them.

#include <gtest/gtest.h>

#include <regex>

#include "accounts.h"
#include "link_code.h"
#include "messages.h"
#include "secrets.h"
#include "sign_in_throttle.h"
#include "support/site_harness.h"
#include "support/test_png.h"

namespace {

using site_test::Harness;
using site_test::headerOf;

std::string cookieValue(const site::SiteResponse& response, const std::string& name) {
    for (const auto& [key, value] : response.headers) {
        if (key == "Set-Cookie" && value.starts_with(name + "=")) return value.substr(name.size() + 1, value.find(';') - name.size() - 1);
    }
    return "(none)";
}

std::string firstMatch(const std::string& text, const std::string& pattern) {
    std::smatch match;
    return std::regex_search(text, match, std::regex(pattern)) ? match[1].str() : std::string("(none)");
}

std::string urlEncoded(const std::string& text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded += {'%', digits[c >> 4], digits[c & 15]};
        }
    }
    return encoded;
}

// A browser: keeps the cookies the site sets and sends them back.
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
        if (!body.empty()) request.headers["content-type"] = "application/x-www-form-urlencoded";
        auto response = h.site.handle(request);
        for (const auto& [key, value] : response.headers) {
            if (key != "Set-Cookie") continue;
            const std::string name = value.substr(0, value.find('='));
            const std::string content = cookieValue(response, name);
            if (value.find("Max-Age=0") != std::string::npos) {
                cookies.erase(name);
            } else {
                cookies[name] = content;
            }
        }
        return response;
    }

    site::SiteResponse signIn(const std::string& user, const std::string& password) {
        const std::string form = firstMatch(send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\"");
        return send("POST", "/account/sign-in", "form=" + form + "&user=" + urlEncoded(user) + "&password=" + urlEncoded(password));
    }

    std::string formToken() { return firstMatch(send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\""); }

    std::string newLinkCode() {
        return firstMatch(send("POST", "/account/link-code", "form=" + formToken()).body, "class=\"code\">([^<]+)<");
    }
};

TEST(Account, SignedOutVisitorSeesTheSignInForm) {
    Harness h;
    Browser browser{h, {}};
    const auto page = browser.send("GET", "/account");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("action=\"/account/sign-in\""), std::string::npos);
    EXPECT_NE(page.body.find("Вход"), std::string::npos);
    EXPECT_EQ(headerOf(page, "Cache-Control"), "no-store");
    const std::string cookie = headerOf(page, "Set-Cookie");
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Path=/"})
        EXPECT_NE(cookie.find(attribute), std::string::npos) << attribute;
    EXPECT_EQ(h.send("GET", "/").status, 303);
}

TEST(Account, SignInNeedsTheRightPasswordAndTheFormToken) {
    Harness h;
    h.addUser("alice", false, "correct horse");
    Browser browser{h, {}};
    const auto wrong = browser.signIn("alice", "wrong horse");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_NE(wrong.body.find(site::messages::kWrongPassword), std::string::npos);
    EXPECT_EQ(browser.cookies.count(site::kSessionCookie), 0u);
    EXPECT_EQ(browser.signIn("nobody", "correct horse").status, 401);

    // A form posted from elsewhere carries no matching token.
    Browser stranger{h, {}};
    const auto forged = stranger.send("POST", "/account/sign-in", "form=x&user=alice&password=correct+horse");
    EXPECT_EQ(forged.status, 403);

    const auto right = browser.signIn("alice", "correct horse");
    EXPECT_EQ(right.status, 303);
    EXPECT_EQ(headerOf(right, "Location"), "/account");
    const std::string session = headerOf(right, "Set-Cookie");
    EXPECT_TRUE(session.starts_with(std::string(site::kSessionCookie) + "="));
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict"})
        EXPECT_NE(session.find(attribute), std::string::npos) << attribute;
    EXPECT_NE(browser.send("GET", "/account").body.find("Личный кабинет"), std::string::npos);
}

TEST(Account, SignInAttemptsAreLimitedPerAddress) {
    Harness h;
    h.addUser("alice", false, "correct horse");
    Browser browser{h, {}};
    for (int i = 0; i < site::kAttemptsPerWindow; ++i) EXPECT_EQ(browser.signIn("alice", "guess").status, 401);
    EXPECT_EQ(browser.signIn("alice", "correct horse").status, 429);
    h.now += site::kAttemptWindowSeconds;
    EXPECT_EQ(browser.signIn("alice", "correct horse").status, 303);
}

TEST(Account, PageShowsTheCountShotsAndDevices) {
    Harness h;
    h.addUser("alice", false, "pw");
    const std::string token = h.linkToken("alice");
    ASSERT_EQ(h.upload(token, site_test::makePng(4, 4, 1)).status, 200);
    const std::string url = site_test::member(h.upload(token, site_test::makePng(4, 4, 2)), "url");
    Browser browser{h, {}};
    ASSERT_EQ(browser.signIn("alice", "pw").status, 303);

    const std::string page = browser.send("GET", "/account").body;
    EXPECT_NE(page.find("2 из 30"), std::string::npos);
    EXPECT_NE(page.find("href=\"" + url + "\""), std::string::npos);
    EXPECT_NE(page.find("15.01.2026"), std::string::npos);  // expiry of today's shots
    EXPECT_NE(page.find("Устройство №"), std::string::npos);
    EXPECT_NE(page.find("«Профиль»"), std::string::npos);
    EXPECT_NE(page.find(site_test::kPublicUrl), std::string::npos);

    EXPECT_EQ(firstMatch(page, "class=\"code\">([^<]+)<"), "(none)");  // a code only when asked for
}

TEST(Account, ACodeOnlyOnAFormPostAndOneLiveCodeAtATime) {
    Harness h;
    h.addUser("alice", false, "pw");
    Browser browser{h, {}};
    ASSERT_EQ(browser.signIn("alice", "pw").status, 303);
    EXPECT_EQ(browser.send("POST", "/account/link-code", "form=" + site::newSecret()).status, 403);
    const std::string replaced = browser.newLinkCode();
    const std::string code = browser.newLinkCode();
    ASSERT_TRUE(site::normalizeLinkCode(code)) << code;
    // Looking at the page mints nothing, so the newest code stays the live one.
    browser.send("GET", "/account");
    browser.send("HEAD", "/account");
    EXPECT_EQ(h.redeem(replaced, "198.51.100.76").status, 400);
    EXPECT_EQ(h.redeem(code, "198.51.100.77").status, 200);
}

TEST(Account, GuessingOneAccountIsSlowedWhateverTheAddress) {
    Harness h;
    h.addUser("alice", false, "correct horse");
    Browser browser{h, {}};
    const auto tryFrom = [&](int address, const char* password) {
        browser.address = "203.0.113." + std::to_string(address);
        return browser.signIn("alice", password);
    };
    for (int i = 0; i < site::kFreeFailures; ++i) EXPECT_EQ(tryFrom(i, "guess").status, 401);
    // Even the right password waits now, and the page says for how long.
    const auto waiting = tryFrom(100, "correct horse");
    EXPECT_EQ(waiting.status, 429);
    EXPECT_NE(waiting.body.find(std::string(site::messages::kAccountThrottled) + " 1 мин."), std::string::npos);
    h.now += site::kFirstWaitSeconds;
    EXPECT_EQ(tryFrom(101, "guess").status, 401);
    h.now += site::kFirstWaitSeconds;
    EXPECT_NE(tryFrom(102, "correct horse").body.find(site::messages::kAccountThrottled), std::string::npos);
    h.now += site::kFirstWaitSeconds;
    EXPECT_EQ(tryFrom(103, "correct horse").status, 303);
}

TEST(Account, DeleteAndRevokeNeedTheSessionsFormToken) {
    Harness h;
    const auto alice = h.addUser("alice", false, "pw");
    const std::string token = h.linkToken("alice");
    const std::string url = site_test::member(h.upload(token, site_test::makePng(4, 4)), "url");
    const std::string id = url.substr(url.rfind('/') + 1);
    const std::string device = std::to_string(h.store.devicesOf(alice).at(0).id);
    Browser browser{h, {}};
    ASSERT_EQ(browser.signIn("alice", "pw").status, 303);

    EXPECT_EQ(browser.send("POST", "/account/shots/delete", "form=" + site::newSecret() + "&shot=" + id).status, 403);
    EXPECT_EQ(browser.send("POST", "/account/devices/revoke", "shot=" + id + "&device=" + device).status, 403);
    EXPECT_TRUE(h.store.hasShot(id));
    EXPECT_EQ(h.get("/api/me", token).status, 200);

    const std::string form = browser.formToken();
    EXPECT_EQ(browser.send("POST", "/account/shots/delete", "form=" + form + "&shot=" + id).status, 303);
    EXPECT_FALSE(h.store.hasShot(id));
    EXPECT_FALSE(std::filesystem::exists(h.files.pathOf(id)));
    EXPECT_EQ(h.get("/s/" + id).status, 404);

    EXPECT_EQ(browser.send("POST", "/account/devices/revoke", "form=" + form + "&device=" + device).status, 303);
    EXPECT_EQ(h.get("/api/me", token).status, 401);
    EXPECT_NE(browser.send("GET", "/account").body.find("Ни одно устройство не привязано"), std::string::npos);
}

TEST(Account, OneUserCannotTouchAnothersShotsOrDevices) {
    Harness h;
    const auto alice = h.addUser("alice", false, "pw");
    h.addUser("mallory", false, "pw2");
    const std::string token = h.linkToken("alice");
    const std::string url = site_test::member(h.upload(token, site_test::makePng(4, 4)), "url");
    const std::string id = url.substr(url.rfind('/') + 1);
    Browser mallory{h, {}};
    ASSERT_EQ(mallory.signIn("mallory", "pw2").status, 303);
    const std::string form = mallory.formToken();
    mallory.send("POST", "/account/shots/delete", "form=" + form + "&shot=" + id);
    mallory.send("POST", "/account/devices/revoke",
                 "form=" + form + "&device=" + std::to_string(h.store.devicesOf(alice).at(0).id));
    EXPECT_TRUE(h.store.hasShot(id));
    EXPECT_EQ(h.get("/api/me", token).status, 200);
    EXPECT_EQ(mallory.send("GET", "/account").body.find(id), std::string::npos);
}

TEST(Account, SignOutEndsTheSessionAndSessionsExpire) {
    Harness h;
    h.addUser("alice", false, "pw");
    Browser browser{h, {}};
    ASSERT_EQ(browser.signIn("alice", "pw").status, 303);
    const auto stolen = browser.cookies;
    EXPECT_EQ(browser.send("POST", "/account/sign-out", "form=" + browser.formToken()).status, 303);
    Browser thief{h, stolen};
    EXPECT_NE(thief.send("GET", "/account").body.find("action=\"/account/sign-in\""), std::string::npos);

    ASSERT_EQ(browser.signIn("alice", "pw").status, 303);
    h.now += site::kSessionLifetimeSeconds;
    EXPECT_NE(browser.send("GET", "/account").body.find("action=\"/account/sign-in\""), std::string::npos);
}

// A user with a linked device, signed in from two browsers.
struct TwoBrowsers {
    Harness h;
    std::string device;
    Browser here{h, {}}, there{h, {}};

    explicit TwoBrowsers(const std::string& password) {
        h.addUser("alice", false, password);
        device = h.linkToken("alice");
        EXPECT_EQ(here.signIn("alice", password).status, 303);
        EXPECT_EQ(there.signIn("alice", password).status, 303);
    }
    static bool signedIn(Browser& browser) {
        return browser.send("GET", "/account").body.find("action=\"/account/sign-in\"") == std::string::npos;
    }
};

TEST(Account, PasswordChangeNeedsTheFormTokenTheCurrentPasswordAndTwoEqualNewOnes) {
    TwoBrowsers b("old pw");
    const std::string form = "form=" + b.here.formToken();
    const struct {
        const char* what;
        std::string body;
        int status;
        const char* sentence;
    } refused[] = {
        {"no form token", "current=old+pw&new=n&repeat=n", 403, site::messages::kStaleForm},
        {"a wrong current password", form + "&current=old&new=n&repeat=n", 401, site::messages::kWrongCurrentPassword},
        {"a repeat that differs", form + "&current=old+pw&new=n&repeat=N", 400, site::messages::kPasswordsDiffer},
        {"an empty new password", form + "&current=old+pw&new=&repeat=", 400, site::messages::kBadNewPassword},
    };
    for (const auto& c : refused) {
        const auto answer = b.here.send("POST", "/account/password", c.body);
        EXPECT_EQ(answer.status, c.status) << c.what;
        EXPECT_NE(answer.body.find(c.sentence), std::string::npos) << c.what;
    }
    EXPECT_TRUE(site::checkPassword(b.h.store, "alice", "old pw", site_test::kTestIterations));
    EXPECT_TRUE(b.signedIn(b.there));

    const auto changed = b.here.send("POST", "/account/password", form + "&current=old+pw&new=new+pw&repeat=new+pw");
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.body.find(site::messages::kPasswordChanged), std::string::npos);
    EXPECT_TRUE(b.signedIn(b.here));
    EXPECT_FALSE(b.signedIn(b.there));
    EXPECT_EQ(b.h.get("/api/me", b.device).status, 200);  // devices hold tokens, not sessions
    Browser later{b.h, {}};
    EXPECT_EQ(later.signIn("alice", "old pw").status, 401);
    EXPECT_EQ(later.signIn("alice", "new pw").status, 303);
}

// Wrong current passwords count against the account like failed sign-ins,
// from wherever they come.
TEST(Account, PasswordChangeGuessesAreThrottledWithSignIn) {
    TwoBrowsers b("pw");
    const std::string form = "form=" + b.here.formToken();
    for (int i = 0; i < site::kFreeFailures; ++i) {
        b.here.address = "203.0.113." + std::to_string(i);
        EXPECT_EQ(b.here.send("POST", "/account/password", form + "&current=guess&new=n&repeat=n").status, 401);
    }
    const auto held = b.here.send("POST", "/account/password", form + "&current=pw&new=n&repeat=n");
    EXPECT_EQ(held.status, 429);
    EXPECT_NE(held.body.find(site::messages::kAccountThrottled), std::string::npos);
    Browser elsewhere{b.h, {}};
    elsewhere.address = "198.51.100.200";
    EXPECT_EQ(elsewhere.signIn("alice", "pw").status, 429);
}

TEST(Account, SignOutEverywhereEndsEverySessionButNotTheDevices) {
    TwoBrowsers b("pw");
    EXPECT_EQ(b.here.send("POST", "/account/sign-out-everywhere", "form=" + site::newSecret()).status, 403);
    EXPECT_TRUE(b.signedIn(b.there));
    EXPECT_EQ(b.here.send("POST", "/account/sign-out-everywhere", "form=" + b.here.formToken()).status, 303);
    EXPECT_FALSE(b.signedIn(b.here));
    EXPECT_FALSE(b.signedIn(b.there));
    EXPECT_EQ(b.h.get("/api/me", b.device).status, 200);
}

TEST(Account, NamesAndTextsAreEscaped) {
    Harness h;
    Browser browser{h, {}};
    const std::string form = firstMatch(browser.send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\"");
    const auto answer = browser.send("POST", "/account/sign-in", "form=" + form + "&user=%3Cscript%3E%22&password=x");
    EXPECT_EQ(answer.body.find("<script>"), std::string::npos);
    EXPECT_NE(answer.body.find("&lt;script&gt;&quot;"), std::string::npos);
}

}  // namespace
