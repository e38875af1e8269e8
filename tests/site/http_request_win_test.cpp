#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "site/http_request.h"
#include "site/site_operations.h"

using nlohmann::json;

namespace {

struct TestSite {
    int trustedPort = 0;
    int roguePort = 0;
    int closedPort = 0;
};

// The ports the fixture's server wrote; the test fails loudly without them.
TestSite readTestSite() {
    TestSite site;
    const char* folder = std::getenv("CLIPVANE_TEST_SITE_DIR");
    if (!folder) return site;
    std::ifstream ports(std::string(folder) + "/ports");
    ports >> site.trustedPort >> site.roguePort >> site.closedPort;
    return site;
}

std::wstring origin(int port) {
    return L"https://localhost:" + std::to_wstring(port);
}

std::string failureOf(const std::wstring& baseUrl, const std::wstring& path) {
    try {
        json answer = httpRequest(baseUrl, "", L"GET", path, "", false);
        ADD_FAILURE() << "expected a failure, got " << answer.dump().substr(0, 200);
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

constexpr char kNoConnection[] = "Нет соединения с сайтом. Проверьте интернет и адрес";

class HttpOverWinHttp : public ::testing::Test {
protected:
    void SetUp() override {
        site_ = readTestSite();
        ASSERT_NE(site_.trustedPort, 0) << "the loopback test site is not running";
        base_ = origin(site_.trustedPort);
    }
    TestSite site_;
    std::wstring base_;
};

}  // namespace

TEST_F(HttpOverWinHttp, GetWithTokenCarriesTheHeaderBlockAndNoBody) {
    json echo = httpRequest(base_ + L"/", "tok-1", L"GET", L"/echo", "", false);
    EXPECT_EQ(echo["method"], "GET");
    EXPECT_EQ(echo["path"], "/echo");
    EXPECT_EQ(echo["contentType"], "application/json");
    EXPECT_EQ(echo["authorization"], "Bearer tok-1");
    EXPECT_EQ(echo["userAgent"], "Clipvane/1.0");
    EXPECT_EQ(echo["bodySize"], 0);
}

TEST_F(HttpOverWinHttp, PostWithoutTokenSendsTheBytesAsIs) {
    std::string png("\x89PNG\r\n\x1a\n\0\x01\xff", 11);
    png += std::string(3 * 1024 * 1024, '\x7f');
    json echo = httpRequest(base_, "", L"POST", L"/echo", png, true);
    EXPECT_EQ(echo["method"], "POST");
    EXPECT_EQ(echo["contentType"], "image/png");
    EXPECT_EQ(echo["authorization"], "(none)");
    EXPECT_EQ(echo["bodySize"], png.size());
    json head = echo["bodyHead"];
    ASSERT_EQ(head.size(), 64u);
    EXPECT_EQ(head[0], 137);
    EXPECT_EQ(head[8], 0);
    EXPECT_EQ(head[10], 255);
    EXPECT_EQ(head[63], 127);
}

TEST_F(HttpOverWinHttp, FailureStatusShowsTheSitesSentence) {
    EXPECT_EQ(failureOf(base_, L"/missing"), "Такой страницы нет");
}

TEST_F(HttpOverWinHttp, RedirectIsNotFollowed) {
    // Followed, it would land on /echo and succeed.
    EXPECT_EQ(failureOf(base_, L"/moved"), "Сайт вернул некорректный ответ");
}

TEST_F(HttpOverWinHttp, BodyOfExactlyTheCapIsReadAndOneMoreIsRefused) {
    json exact = httpRequest(base_, "", L"GET", L"/size/4194304", "", false);
    EXPECT_EQ(exact.get_ref<const std::string&>().size(), 4194302u);
    EXPECT_EQ(failureOf(base_, L"/size/4194305"), "Ответ сайта слишком большой");
}

TEST_F(HttpOverWinHttp, ServerThatNeverAnswersEndsWithTheReceiveTimeout) {
    EXPECT_EQ(failureOf(base_, L"/silent"), kNoConnection);
}

TEST_F(HttpOverWinHttp, RefusedPortAndUntrustedCertificateCannotConnect) {
    EXPECT_EQ(failureOf(origin(site_.closedPort), L"/echo"), kNoConnection);
    EXPECT_EQ(failureOf(origin(site_.roguePort), L"/echo"), kNoConnection);
}

TEST_F(HttpOverWinHttp, AddressWithAPathIsRefusedBeforeConnecting) {
    EXPECT_EQ(failureOf(base_ + L"/api", L"/echo"), "Укажите HTTPS-адрес сайта без пути");
    EXPECT_EQ(failureOf(L"http://localhost:" + std::to_wstring(site_.trustedPort), L"/echo"),
              "Укажите HTTPS-адрес сайта без пути");
}

TEST_F(HttpOverWinHttp, RefreshSendsTheTokenOnlyWithTheProfileRequest) {
    json answer = refreshWork(httpRequestUtf8, "https://localhost:" + std::to_string(site_.trustedPort), "tok-2");
    EXPECT_EQ(answer["news"]["path"], "/api/notifications");
    EXPECT_EQ(answer["news"]["authorization"], "(none)");
    EXPECT_EQ(answer["me"]["path"], "/api/me");
    EXPECT_EQ(answer["me"]["authorization"], "Bearer tok-2");
}

TEST_F(HttpOverWinHttp, LinkAndUploadReachTheirPathsWithTheirBodies) {
    std::string base = "https://localhost:" + std::to_string(site_.trustedPort);
    json link = linkWork(httpRequestUtf8, base, "42");
    EXPECT_EQ(link["method"], "POST");
    EXPECT_EQ(link["path"], "/api/link/redeem");
    EXPECT_EQ(link["authorization"], "(none)");
    EXPECT_EQ(link["bodyHead"], json::parse(R"([123,34,99,111,100,101,34,58,34,52,50,34,125])"));  // {"code":"42"}

    json upload = uploadWork(httpRequestUtf8, base, "tok-3", std::string(1000, 'p'));
    EXPECT_EQ(upload["path"], "/api/shots");
    EXPECT_EQ(upload["contentType"], "image/png");
    EXPECT_EQ(upload["authorization"], "Bearer tok-3");
    EXPECT_EQ(upload["bodySize"], 1000);
}
