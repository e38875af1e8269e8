// Day arithmetic, the attempt table, connection caps, forms,
// cookies, command lines and log lines.

#include <gtest/gtest.h>

#include "access_log.h"
#include "command_line.h"
#include "connection_limits.h"
#include "forms.h"
#include "http_rules.h"
#include "quota.h"
#include "rate_limiter.h"
#include "site.h"

namespace {

TEST(Quota, DayRunsFromMidnightToMidnightUtc) {
    constexpr std::int64_t day = 20454;  // 2026-01-01
    const std::int64_t cases[][2] = {{day * 86400, day},         {day * 86400 + 86399, day}, {day * 86400 + 86400, day + 1},
                                     {day * 86400 - 1, day - 1}, {0, 0},                     {-1, -1},
                                     {-86400, -1},               {-86401, -2}};
    for (const auto& [seconds, expected] : cases) EXPECT_EQ(site::utcDay(seconds), expected) << seconds;
    EXPECT_EQ(site::dailyLimit(false), 30);
    EXPECT_EQ(site::dailyLimit(true), 1000);
}

TEST(RateLimiter, FullTableForgetsTheOldestWindow) {
    site::RateLimiter limiter(1, 60, 2);
    EXPECT_TRUE(limiter.allow("a", 0));
    EXPECT_TRUE(limiter.allow("b", 10));
    EXPECT_TRUE(limiter.allow("c", 20));   // a's window makes room
    EXPECT_FALSE(limiter.allow("b", 20));  // b's is kept
    EXPECT_TRUE(limiter.allow("a", 20));
}

TEST(ConnectionLimits, PerClientAndInTotal) {
    site::ConnectionLimits limits(3, 2);
    EXPECT_TRUE(limits.admit("a"));
    EXPECT_TRUE(limits.admit("a"));
    EXPECT_FALSE(limits.admit("a"));
    EXPECT_TRUE(limits.admit("b"));
    EXPECT_FALSE(limits.admit("c"));
    limits.release("a");
    EXPECT_TRUE(limits.admit("c"));
    EXPECT_EQ(limits.open(), 3u);
    EXPECT_EQ(site::clientKey("192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(site::clientKey("::ffff:192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(site::clientKey("2001:db8:1:2:3:4:5:6"), "2001:db8:1:2::/64");
}

TEST(Forms, FieldsAreDecoded) {
    const auto fields = site::parseForm("user=%D0%B0%D0%B1+c&password=a%26b%3Dc&empty=&user=again&novalue");
    EXPECT_EQ(fields.at("user"), "аб c");
    EXPECT_EQ(fields.at("password"), "a&b=c");
    EXPECT_EQ(fields.at("empty"), "");
    EXPECT_EQ(fields.count("novalue"), 0u);
    EXPECT_EQ(site::percentDecode("100%"), "100%");
    EXPECT_EQ(site::percentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(site::percentDecode("%00"), std::string(1, '\0'));
}

TEST(Forms, CookiesAreSplitAndTrimmed) {
    const auto cookies = site::parseCookies("a=1;  __Host-session = xyz ; b=; =odd; c=d=e");
    EXPECT_EQ(cookies.at("a"), "1");
    EXPECT_EQ(cookies.at("__Host-session"), "xyz");
    EXPECT_EQ(cookies.at("b"), "");
    EXPECT_EQ(cookies.at("c"), "d=e");
}

TEST(CommandLine, WordsOptionsAndFlags) {
    const auto line = site::parseCommandLine({"user", "add", "bob", "--pro", "--data", "/x"}, {"data"}, {"pro"});
    EXPECT_EQ(line.words, (std::vector<std::string>{"user", "add", "bob"}));
    EXPECT_EQ(line.option("data"), "/x");
    EXPECT_TRUE(line.flag("pro"));
    EXPECT_EQ(line.option("missing", "fallback"), "fallback");
    EXPECT_THROW(site::parseCommandLine({"--data"}, {"data"}, {}), std::runtime_error);
    EXPECT_THROW(site::parseCommandLine({"--bogus"}, {"data"}, {}), std::runtime_error);
}

TEST(CommandLine, ListenAddresses) {
    const auto v4 = site::parseListenAddress("127.0.0.1:8443");
    ASSERT_TRUE(v4);
    EXPECT_EQ(v4->host, "127.0.0.1");
    EXPECT_EQ(v4->port, 8443);
    const auto v6 = site::parseListenAddress("[::1]:0");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 0);
    for (const char* bad : {"", "8443", ":8443", "host:", "host:65536", "host:-1", "host:12a", "::1:80", "[]:80",
                            "h:999999999999"})
        EXPECT_FALSE(site::parseListenAddress(bad)) << bad;
}

TEST(CommandLine, PublicUrlIsAnHttpsOrigin) {
    EXPECT_TRUE(site::isPublicUrl("https://localhost:8443"));
    EXPECT_TRUE(site::isPublicUrl("https://shots.example.org/"));
    for (const char* bad : {"http://x", "https://", "https://x/path", "https://x?q", "https://u@x", "https://x y", "x"})
        EXPECT_FALSE(site::isPublicUrl(bad)) << bad;
}

TEST(RequestLog, PathsAreSafeAndShotLinksCut) {
    EXPECT_EQ(site::pathForLog("/api/me"), "/api/me");
    EXPECT_EQ(site::pathForLog("/s/0123456789abcdef0123456789abcdef"), "/s/012345…");
    EXPECT_EQ(site::pathForLog("/a\nGET /fake 200"), "/a\\x0aGET /fake 200");
    EXPECT_EQ(site::pathForLog("/\"q\\"), "/\\x22q\\x5c");
    EXPECT_LT(site::pathForLog("/" + std::string(5000, 'a')).size(), 200u);
}

TEST(RequestLog, LinesInTheCommonFormatWithTheTimeTaken) {
    EXPECT_EQ(site::accessLogLine({"192.0.2.10", 1767225600 + 3661, "GET", "/s/0123456789abcdef", 11, 200, 1234, .0126}),
              "192.0.2.10 - - [01/Jan/2026:01:01:01 +0000] \"GET /s/012345… HTTP/1.1\" 200 1234 0.013\n");
    EXPECT_EQ(site::accessLogLine({"", 0, "", "", 10, 400, 0, 0}),
              "- - - [01/Jan/1970:00:00:00 +0000] \"- - HTTP/1.0\" 400 0 0.000\n");
}

}  // namespace
