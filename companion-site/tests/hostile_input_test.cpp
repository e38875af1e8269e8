// Requests no client should send: every one gets a clear answer.

#include <gtest/gtest.h>

#include "messages.h"
#include "quota.h"
#include "support/site_harness.h"

namespace {

using site_test::errorOf;
using site_test::Harness;
using site_test::headerOf;

TEST(HostileInput, WrongMethodsAre405WithTheAllowedOnes) {
    Harness h;
    const struct {
        const char* method;
        const char* path;
        const char* allowed;
    } cases[] = {
        {"GET", "/api/link/redeem", "POST"}, {"DELETE", "/api/me", "GET, HEAD"},
        {"PUT", "/api/shots", "POST"},       {"POST", "/api/notifications", "GET, HEAD"},
        {"POST", "/s/00", "GET, HEAD"},      {"PATCH", "/account", "GET, HEAD"},
        {"GET", "/account/sign-in", "POST"},
    };
    for (const auto& c : cases) {
        const auto answer = h.send(c.method, c.path);
        EXPECT_EQ(answer.status, 405) << c.method << ' ' << c.path;
        EXPECT_EQ(headerOf(answer, "Allow"), c.allowed) << c.path;
    }
    EXPECT_EQ(errorOf(h.send("DELETE", "/api/me")), site::messages::kMethodNotAllowed);
}

TEST(HostileInput, UnknownPathsAre404) {
    Harness h;
    EXPECT_EQ(errorOf(h.send("GET", "/api/nothing")), site::messages::kNotFound);
    EXPECT_EQ(h.send("GET", "/api/me/").status, 404);
    EXPECT_EQ(h.send("GET", "/site.db").status, 404);
    EXPECT_EQ(h.send("GET", "").status, 404);
    EXPECT_EQ(h.send("BREW", "/api/me").status, 405);
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

TEST(HostileInput, DeepJsonAndBinaryBodiesAreRefusedCleanly) {
    Harness h;
    for (const std::string& body : {std::string(16000, '['), std::string(8000, '{'), std::string("\xff\xfe\0\0", 4),
                                    std::string("{\"code\":\"\xff\xfe\"}")}) {
        auto request = site_test::request("POST", "/api/link/redeem", body);
        const auto answer = h.site.handle(request);
        EXPECT_EQ(answer.status, 400);
        EXPECT_NE(errorOf(answer), "(none)");
    }
}

TEST(HostileInput, AccountFormsWithoutSessionsOrWithJunkAreRefused) {
    Harness h;
    for (const char* path : {"/account/sign-out", "/account/shots/delete", "/account/devices/revoke", "/account/sign-in"}) {
        for (const char* body : {"", "&&&", "form=", "form=%", "=x", "shot=../../site.db&device=-1"}) {
            const auto answer = h.send("POST", path, body);
            EXPECT_EQ(answer.status, 403) << path << " " << body;
        }
    }
}

}  // namespace
