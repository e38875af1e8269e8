// The account pages through Site::handle, the way a browser uses them.

#include <gtest/gtest.h>

#include "accounts.h"
#include "messages.h"
#include "secrets.h"
#include "sign_in_throttle.h"
#include "support/site_harness.h"

namespace {

using site_test::firstMatch;
using site_test::Harness;
using site_test::headerOf;

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
        for (const auto& [key, value] : response.headers) {
            if (key != "Set-Cookie") continue;
            const std::size_t equals = value.find('=');
            cookies[value.substr(0, equals)] = value.substr(equals + 1, value.find(';') - equals - 1);
        }
        return response;
    }

    std::string form() { return "form=" + firstMatch(send("GET", "/account").body, "name=\"form\" value=\"([^\"]+)\""); }

    site::SiteResponse signIn(const std::string& user, const std::string& password) {
        return send("POST", "/account/sign-in", form() + "&user=" + user + "&password=" + password);
    }

    bool signedIn() { return send("GET", "/account").body.find("action=\"/account/sign-in\"") == std::string::npos; }
};

// The sign-in form sets a strict cookie and escapes what it shows; a post
// without that cookie's form token, or any form without a session, is
// refused as stale; a wrong password gets its sentence and no session.
TEST(Account, SignInFormsAndPasswords) {
    Harness h;
    h.addUser("alice", false, "correct horse");
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
    const auto wrong = browser.signIn("alice", "wrong+horse");
    EXPECT_EQ(wrong.status, 401);
    EXPECT_NE(wrong.body.find(site::messages::kWrongPassword), std::string::npos);
    EXPECT_EQ(browser.cookies.count(site::kSessionCookie), 0u);
    EXPECT_EQ(browser.signIn("alice", "correct+horse").status, 303);
    EXPECT_NE(browser.send("GET", "/account").body.find("Личный кабинет"), std::string::npos);
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

TEST_F(SignedIn, PageShowsTheCountShotsDevicesAndANewCode) {
    EXPECT_NE(h.uploadedShot(device, 1), "");
    const std::string id = h.uploadedShot(device, 2);
    h.now += 2 * 3600;
    ASSERT_EQ(h.get("/api/me", device).status, 200);  // the device seen again

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
    const std::string id = h.uploadedShot(device);
    const std::string shot = "&shot=" + id, number = "&device=" + std::to_string(h.store.devicesOf(alice).at(0).id);
    h.addUser("mallory", false, "pw2");
    Browser mallory{h, {}};
    ASSERT_EQ(mallory.signIn("mallory", "pw2").status, 303);
    mallory.send("POST", "/account/shots/delete", mallory.form() + shot);
    mallory.send("POST", "/account/devices/revoke", mallory.form() + number);
    EXPECT_EQ(here.send("POST", "/account/shots/delete", "form=" + site::newSecret() + shot).status, 403);
    EXPECT_EQ(h.get("/s/" + id).status, 200);
    EXPECT_EQ(h.get("/api/me", device).status, 200);

    const std::string form = here.form();
    EXPECT_EQ(here.send("POST", "/account/shots/delete", form + shot).status, 303);
    EXPECT_FALSE(std::filesystem::exists(h.files.pathOf(id)));
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", form + "&device=9999999999999999999").status, 303);
    EXPECT_EQ(h.get("/api/me", device).status, 200);
    EXPECT_EQ(here.send("POST", "/account/devices/revoke", form + number).status, 303);
    EXPECT_EQ(h.get("/api/me", device).status, 401);
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
    EXPECT_EQ(h.get("/api/me", device).status, 200);
    ASSERT_EQ(here.signIn("alice", "pw").status, 303);
    h.now += site::kSessionLifetimeSeconds;
    EXPECT_FALSE(here.signedIn());
}

TEST_F(SignedIn, PasswordChangeNeedsTheFormTokenTheCurrentPasswordAndTwoEqualNewOnes) {
    const std::string form = here.form();
    const struct {
        std::string body;
        int status;
        const char* sentence;
    } refused[] = {
        {"current=pw&new=n&repeat=n", 403, site::messages::kStaleForm},
        {form + "&current=old&new=n&repeat=n", 401, site::messages::kWrongCurrentPassword},
        {form + "&current=pw&new=n&repeat=N", 400, site::messages::kPasswordsDiffer},
        {form + "&current=pw&new=&repeat=", 400, site::messages::kBadNewPassword},
    };
    for (const auto& c : refused) {
        const auto answer = here.send("POST", "/account/password", c.body);
        EXPECT_EQ(answer.status, c.status) << c.body;
        EXPECT_NE(answer.body.find(c.sentence), std::string::npos) << c.body;
    }
    const auto changed = here.send("POST", "/account/password", form + "&current=pw&new=new+pw&repeat=new+pw");
    EXPECT_NE(changed.body.find(site::messages::kPasswordChanged), std::string::npos);
    EXPECT_TRUE(here.signedIn());
    EXPECT_FALSE(there.signedIn());
    EXPECT_EQ(there.signIn("alice", "pw").status, 401);
    EXPECT_EQ(there.signIn("alice", "new+pw").status, 303);
}

// Wrong current passwords count against the account like failed sign-ins,
// from wherever they come; the sign-in page says how long to wait.
TEST_F(SignedIn, PasswordGuessesAreThrottledPerAccount) {
    const std::string form = here.form();
    for (int i = 0; i < site::kFreeFailures; ++i) {
        here.address = "203.0.113." + std::to_string(i);
        EXPECT_EQ(here.send("POST", "/account/password", form + "&current=guess&new=n&repeat=n").status, 401);
    }
    Browser elsewhere{h, {}};
    const auto waiting = elsewhere.signIn("alice", "pw");
    EXPECT_NE(waiting.body.find(std::string(site::messages::kAccountThrottled) + " 1 мин."), std::string::npos);
    h.now += 2 * site::kFirstWaitSeconds;
    EXPECT_EQ(elsewhere.signIn("alice", "pw").status, 303);
}

}  // namespace
