// Requests no client should send: every one gets a clear answer.

#include <gtest/gtest.h>

#include "messages.h"
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

TEST(HostileInput, OversizedSmallBodiesAre413) {
    Harness h;
    auto request = site_test::request("POST", "/api/link/redeem");
    request.bodyTooLarge = true;
    const auto answer = h.site.handle(request);
    EXPECT_EQ(answer.status, 413);
    EXPECT_EQ(errorOf(answer), site::messages::kRequestTooLarge);
    EXPECT_EQ(site::bodyLimitFor("/api/link/redeem"), site::kMaxSmallBody);
    EXPECT_EQ(site::bodyLimitFor("/api/shots"), 12582912u);
}

TEST(HostileInput, StatusesOfTheHttpLayerGetSentences) {
    EXPECT_EQ(errorOf(site::fallbackResponse(413, "/api/shots")), site::messages::kShotTooLarge);
    EXPECT_EQ(errorOf(site::fallbackResponse(413, "/account")), site::messages::kRequestTooLarge);
    EXPECT_EQ(errorOf(site::fallbackResponse(400, "/")), site::messages::kBadRequest);
    EXPECT_EQ(errorOf(site::fallbackResponse(414, "/")), site::messages::kUriTooLong);
    EXPECT_EQ(errorOf(site::fallbackResponse(500, "/")), site::messages::kInternal);
    EXPECT_EQ(site::fallbackResponse(431, "/").status, 431);
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
