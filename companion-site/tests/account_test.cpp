// The account pages through Site::handle, the way a browser uses them.

#include <gtest/gtest.h>

#include "accounts.h"
#include "link_code.h"
#include "messages.h"
#include "secrets.h"
#include "sign_in_throttle.h"
#include "support/site_harness.h"
#include "support/test_png.h"

namespace {

using site_test::firstMatch;
using site_test::Harness;
using site_test::headerOf;

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
            const std::size_t equals = value.find('=');
            const std::string name = value.substr(0, equals);
            if (value.find("Max-Age=0") != std::string::npos) {
                cookies.erase(name);
            } else {
                cookies[name] = value.substr(equals + 1, value.find(';') - equals - 1);
            }
        }
        return response;
    }

    std::string formToken() { return firstMatch(send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\""); }

    site::SiteResponse signIn(const std::string& user, const std::string& password) {
        return send("POST", "/account/sign-in",
                    "form=" + formToken() + "&user=" + urlEncoded(user) + "&password=" + urlEncoded(password));
    }

    bool signedIn() { return send("GET", "/account").body.find("action=\"/account/sign-in\"") == std::string::npos; }

    std::string newLinkCode() {
        return firstMatch(send("POST", "/account/link-code", "form=" + formToken()).body, "class=\"code\">([^<]+)<");
    }
};

TEST(Account, SignedOutVisitorSeesTheSignInFormWithNamesEscaped) {
    Harness h;
    Browser browser{h, {}};
    const auto page = browser.send("GET", "/account");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
    EXPECT_NE(page.body.find("Вход"), std::string::npos);
    EXPECT_FALSE(browser.signedIn());
    EXPECT_EQ(headerOf(page, "Cache-Control"), "no-store");
    const std::string cookie = headerOf(page, "Set-Cookie");
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict", "Path=/"})
        EXPECT_NE(cookie.find(attribute), std::string::npos) << attribute;
    EXPECT_EQ(h.send("GET", "/").status, 303);

    const auto answer = browser.signIn("<script>\"", "x");
    EXPECT_EQ(answer.body.find("<script>"), std::string::npos);
    EXPECT_NE(answer.body.find("&lt;script&gt;&quot;"), std::string::npos);
}

// Without a session, or with junk, every form is refused as stale.
TEST(Account, FormsWithoutSessionsOrWithJunkAreRefused) {
    Harness h;
    for (const char* path : {"/account/sign-out", "/account/shots/delete", "/account/devices/revoke", "/account/sign-in"}) {
        for (const char* body : {"", "&&&", "form=", "form=%", "=x", "shot=../../site.db&device=-1"})
            EXPECT_EQ(h.send("POST", path, body).status, 403) << path << " " << body;
    }
}

TEST(Account, SignInNeedsTheRightPasswordAndTheFormTokenWithinTheAttemptLimit) {
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
    EXPECT_EQ(stranger.send("POST", "/account/sign-in", "form=x&user=alice&password=correct+horse").status, 403);

    const auto right = browser.signIn("alice", "correct horse");
    EXPECT_EQ(right.status, 303);
    EXPECT_EQ(headerOf(right, "Location"), "/account");
    const std::string session = headerOf(right, "Set-Cookie");
    EXPECT_TRUE(session.starts_with(std::string(site::kSessionCookie) + "="));
    for (const char* attribute : {"HttpOnly", "Secure", "SameSite=Strict"})
        EXPECT_NE(session.find(attribute), std::string::npos) << attribute;
    EXPECT_NE(browser.send("GET", "/account").body.find("Личный кабинет"), std::string::npos);

    Browser guesser{h, {}};
    guesser.address = "192.0.2.99";  // the attempts of one address, on no account in particular
    for (int i = 0; i < site::kAttemptsPerWindow; ++i) EXPECT_EQ(guesser.signIn("user" + std::to_string(i), "guess").status, 401);
    EXPECT_EQ(guesser.signIn("alice", "correct horse").status, 429);
    h.now += site::kAttemptWindowSeconds;
    EXPECT_EQ(guesser.signIn("alice", "correct horse").status, 303);
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
    h.now += 2 * site::kFirstWaitSeconds;
    EXPECT_EQ(tryFrom(101, "correct horse").status, 303);
}

// Alice with a linked device, signed in from two browsers.
struct SignedIn : ::testing::Test {
    Harness h;
    std::int64_t alice = h.addUser("alice", false, "pw");
    std::string device = h.linkToken("alice");
    Browser here{h, {}}, there{h, {}};

    void SetUp() override {
        ASSERT_EQ(here.signIn("alice", "pw").status, 303);
        ASSERT_EQ(there.signIn("alice", "pw").status, 303);
    }
};

TEST_F(SignedIn, PageShowsTheCountShotsAndDevices) {
    EXPECT_NE(h.uploadedShot(device, 1), "");
    const std::string id = h.uploadedShot(device, 2);
    h.now += 2 * 3600;
    ASSERT_EQ(h.get("/api/me", device).status, 200);  // the device seen again

    const std::string page = here.send("GET", "/account").body;
    EXPECT_NE(page.find("2 из 30"), std::string::npos);
    EXPECT_NE(page.find("href=\"" + std::string(site_test::kPublicUrl) + "/s/" + id + "\""), std::string::npos);
    EXPECT_NE(page.find("15.01.2026"), std::string::npos);  // expiry of today's shots
    EXPECT_NE(page.find("привязано 01.01.2026 00:00 UTC • активно 01.01.2026 02:00 UTC"), std::string::npos);
    EXPECT_NE(page.find("«Профиль»"), std::string::npos);
    EXPECT_EQ(firstMatch(page, "class=\"code\">([^<]+)<"), "(none)");  // a code only when asked for
}

TEST_F(SignedIn, ACodeOnlyOnAFormPostAndOneLiveCodeAtATime) {
    EXPECT_EQ(here.send("POST", "/account/link-code", "form=" + site::newSecret()).status, 403);
    const std::string replaced = here.newLinkCode();
    const std::string code = here.newLinkCode();
    ASSERT_TRUE(site::normalizeLinkCode(code)) << code;
    // Looking at the page mints nothing, so the newest code stays the live one.
    here.send("GET", "/account");
    here.send("HEAD", "/account");
    EXPECT_EQ(h.redeem(replaced, "198.51.100.76").status, 400);
    EXPECT_EQ(h.redeem(code, "198.51.100.77").status, 200);
}

TEST_F(SignedIn, DeleteAndRevokeNeedTheSessionsFormToken) {
    const std::string id = h.uploadedShot(device);
    const std::string number = std::to_string(h.store.devicesOf(alice).at(0).id);
    EXPECT_EQ(here.send("POST", "/account/shots/delete", "form=" + site::newSecret() + "&shot=" + id).status, 403);
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", "shot=" + id + "&device=" + number).status, 403);
    EXPECT_TRUE(h.store.hasShot(id));
    EXPECT_EQ(h.get("/api/me", device).status, 200);

    const std::string form = here.formToken();
    EXPECT_EQ(here.send("POST", "/account/shots/delete", "form=" + form + "&shot=" + id).status, 303);
    EXPECT_FALSE(h.store.hasShot(id));
    EXPECT_FALSE(std::filesystem::exists(h.files.pathOf(id)));
    EXPECT_EQ(h.get("/s/" + id).status, 404);

    EXPECT_EQ(here.send("POST", "/account/devices/revoke", "form=" + form + "&device=9999999999999999999").status, 303);
    EXPECT_EQ(h.get("/api/me", device).status, 200);
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", "form=" + form + "&device=" + number).status, 303);
    EXPECT_EQ(h.get("/api/me", device).status, 401);
    EXPECT_NE(here.send("GET", "/account").body.find("Ни одно устройство не привязано"), std::string::npos);
}

TEST_F(SignedIn, OneUserCannotTouchAnothersShotsOrDevices) {
    const std::string id = h.uploadedShot(device);
    h.addUser("mallory", false, "pw2");
    Browser mallory{h, {}};
    ASSERT_EQ(mallory.signIn("mallory", "pw2").status, 303);
    const std::string form = mallory.formToken();
    mallory.send("POST", "/account/shots/delete", "form=" + form + "&shot=" + id);
    mallory.send("POST", "/account/devices/revoke",
                 "form=" + form + "&device=" + std::to_string(h.store.devicesOf(alice).at(0).id));
    EXPECT_EQ(h.get("/s/" + id).status, 200);
    EXPECT_EQ(h.get("/api/me", device).status, 200);
    EXPECT_EQ(mallory.send("GET", "/account").body.find(id), std::string::npos);
}

// Signing out ends that session only; sessions also end after their week.
TEST_F(SignedIn, SignOutEndsTheSessionAndSessionsExpire) {
    Browser thief{h, here.cookies};
    EXPECT_EQ(here.send("POST", "/account/sign-out", "form=" + here.formToken()).status, 303);
    EXPECT_FALSE(thief.signedIn());
    EXPECT_TRUE(there.signedIn());
    h.now += site::kSessionLifetimeSeconds;
    EXPECT_FALSE(there.signedIn());
}

TEST_F(SignedIn, SignOutEverywhereEndsEverySessionButNotTheDevices) {
    EXPECT_EQ(here.send("POST", "/account/sign-out-everywhere", "form=" + site::newSecret()).status, 403);
    EXPECT_TRUE(there.signedIn());
    EXPECT_EQ(here.send("POST", "/account/sign-out-everywhere", "form=" + here.formToken()).status, 303);
    EXPECT_FALSE(here.signedIn());
    EXPECT_FALSE(there.signedIn());
    EXPECT_EQ(h.get("/api/me", device).status, 200);
}

TEST_F(SignedIn, PasswordChangeNeedsTheFormTokenTheCurrentPasswordAndTwoEqualNewOnes) {
    const std::string form = "form=" + here.formToken();
    const struct {
        const char* what;
        std::string body;
        int status;
        const char* sentence;
    } refused[] = {
        {"no form token", "current=pw&new=n&repeat=n", 403, site::messages::kStaleForm},
        {"a wrong current password", form + "&current=old&new=n&repeat=n", 401, site::messages::kWrongCurrentPassword},
        {"a repeat that differs", form + "&current=pw&new=n&repeat=N", 400, site::messages::kPasswordsDiffer},
        {"an empty new password", form + "&current=pw&new=&repeat=", 400, site::messages::kBadNewPassword},
    };
    for (const auto& c : refused) {
        const auto answer = here.send("POST", "/account/password", c.body);
        EXPECT_EQ(answer.status, c.status) << c.what;
        EXPECT_NE(answer.body.find(c.sentence), std::string::npos) << c.what;
    }
    EXPECT_TRUE(there.signedIn());

    const auto changed = here.send("POST", "/account/password", form + "&current=pw&new=new+pw&repeat=new+pw");
    EXPECT_EQ(changed.status, 200);
    EXPECT_NE(changed.body.find(site::messages::kPasswordChanged), std::string::npos);
    EXPECT_TRUE(here.signedIn());
    EXPECT_FALSE(there.signedIn());
    EXPECT_EQ(h.get("/api/me", device).status, 200);  // devices hold tokens, not sessions
    Browser later{h, {}};
    EXPECT_EQ(later.signIn("alice", "pw").status, 401);
    EXPECT_EQ(later.signIn("alice", "new pw").status, 303);
}

// Wrong current passwords count against the account like failed sign-ins,
// from wherever they come.
TEST_F(SignedIn, PasswordChangeGuessesAreThrottledWithSignIn) {
    const std::string form = "form=" + here.formToken();
    for (int i = 0; i < site::kFreeFailures; ++i) {
        here.address = "203.0.113." + std::to_string(i);
        EXPECT_EQ(here.send("POST", "/account/password", form + "&current=guess&new=n&repeat=n").status, 401);
    }
    const auto held = here.send("POST", "/account/password", form + "&current=pw&new=n&repeat=n");
    EXPECT_EQ(held.status, 429);
    EXPECT_NE(held.body.find(site::messages::kAccountThrottled), std::string::npos);
    Browser elsewhere{h, {}};
    elsewhere.address = "198.51.100.200";
    EXPECT_EQ(elsewhere.signIn("alice", "pw").status, 429);
}

}  // namespace
