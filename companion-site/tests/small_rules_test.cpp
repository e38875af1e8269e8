// Day arithmetic, the attempt table, forms, cookies, command lines, log
// lines, secrets, link codes, the PNG check, connection caps, framing and
// the metrics page's histograms.

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "base/addresses.h"
#include "http/connection_limits.h"
#include "http/forms.h"
#include "http/rules.h"
#include "observability/access_log.h"
#include "observability/metrics.h"
#include "security/link_code.h"
#include "security/rate_limiter.h"
#include "security/secrets.h"
#include "support/test_png.h"
#include "web/quota.h"
#include "web/site.h"
#include "web/upload/png_check.h"

namespace {

TEST(Quota, DayRunsFromMidnightToMidnightUtc) {
    constexpr std::int64_t day = 20454;  // 2026-01-01
    const std::int64_t cases[][2] = {{day * 86400, day}, {day * 86400 + 86399, day}, {day * 86400 - 1, day - 1},
                                     {-1, -1},           {-86400, -1},               {-86401, -2}};
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

TEST(ConnectionLimits, EachCapHoldsAndAReleaseMakesRoom) {
    site::ConnectionLimits limits(3, 2);
    EXPECT_TRUE(limits.admit("a"));
    EXPECT_TRUE(limits.admit("a"));
    EXPECT_FALSE(limits.admit("a"));  // its own cap
    EXPECT_TRUE(limits.admit("b"));
    EXPECT_FALSE(limits.admit("c"));  // the total
    limits.release("a");
    EXPECT_TRUE(limits.admit("c"));
    EXPECT_EQ(limits.open(), 3u);
}

// The HTTP parser refuses a length beside chunked coding as well; the rule
// must not rest on that, since it is what keeps a proxy and the site reading
// the same body.
TEST(Framing, TwoWaysToTellTheBodysLengthAreRefused) {
    using Lines = std::vector<site::HeaderLine>;
    EXPECT_EQ(site::framingProblem(Lines{{"content-length", "5"}, {"transfer-encoding", "chunked"}}), 400);
    EXPECT_EQ(site::framingProblem(Lines{{"content-length", "5"}}), 0);
}

TEST(MetricsPage, HistogramBucketsAreCumulative) {
    static constexpr double kBounds[] = {0.1, 1};
    site::Histogram histogram(kBounds);
    for (double seconds : {0.05, 0.5, 0.7, 5.0}) histogram.observe(seconds);
    site::MetricsPage page;
    page.histogram("t", {}, histogram);
    EXPECT_NE(page.text().find("t_bucket{le=\"0.1\"} 1\nt_bucket{le=\"1\"} 3\nt_bucket{le=\"+Inf\"} 4\n"),
              std::string::npos)
        << page.text();
}

TEST(Forms, FieldsAreDecodedAndCookiesTrimmed) {
    const auto fields = site::parseForm("user=%D0%B0%D0%B1+c&password=a%26b%3Dc&user=again&novalue");
    EXPECT_EQ(fields.at("user"), "аб c");
    EXPECT_EQ(fields.at("password"), "a&b=c");
    EXPECT_EQ(fields.count("novalue"), 0u);
    EXPECT_EQ(site::percentDecode("100%"), "100%");
    EXPECT_EQ(site::percentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(site::percentDecode("%00"), std::string(1, '\0'));
    const auto cookies = site::parseCookies("a=1;  __Host-session = xyz ; =odd; c=d=e");
    EXPECT_EQ(cookies.at("a"), "1");
    EXPECT_EQ(cookies.at("__Host-session"), "xyz");
    EXPECT_EQ(cookies.at("c"), "d=e");
}

// The options themselves are tried by running the program's commands.
TEST(CommandLine, ListenAddressesAndPublicUrls) {
    const auto v6 = site::parseListenAddress("[::1]:8443");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->port, 8443);
    for (const char* bad : {"", "8443", "host:", "host:65536", "host:-1", "host:12a", "::1:80", "h:999999999999"})
        EXPECT_FALSE(site::parseListenAddress(bad)) << bad;
    EXPECT_TRUE(site::isPublicUrl("https://shots.example.org/"));
    for (const char* bad : {"http://x", "https://", "https://x/path", "https://x?q", "https://u@x", "https://x y"})
        EXPECT_FALSE(site::isPublicUrl(bad)) << bad;
}

TEST(RequestLog, PathsAreSafeAndShotLinksCut) {
    EXPECT_EQ(site::safeForLog("/a\nGET /fake 200"), "/a\\x0aGET /fake 200");
    EXPECT_EQ(site::safeForLog("/\"q\\"), "/\\x22q\\x5c");
    EXPECT_LT(site::safeForLog("/" + std::string(5000, 'a')).size(), 200u);
    EXPECT_EQ(site::accessLogLine({"192.0.2.10", 1767225600 + 3661, "GET", "/api/me", 11, 200, 1234, .0126}),
              "192.0.2.10 - - [01/Jan/2026:01:01:01 +0000] \"GET /api/me HTTP/1.1\" 200 1234 0.013\n");
}

// Encodings and hashes against their standard vectors; tokens and shot ids
// long, random and parsed exactly.
TEST(Secrets, StandardVectorsAndExactTokens) {
    EXPECT_EQ(site::toBase64Url("\xfb\xff"), "-_8");
    EXPECT_EQ(site::toHex(std::string("\x00\x7f\xff", 3)), "007fff");
    EXPECT_EQ(site::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(site::toHex(site::pbkdf2Sha256("password", "salt", 2)),
              "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string secret = site::newSecret(), id = site::newShotId();
        EXPECT_TRUE(site::looksLikeSecret(secret) && secret.size() == 43 && site::isShotId(id) && id.size() == 32);
        EXPECT_TRUE(seen.insert(secret).second && seen.insert(id).second);
    }
    const std::string id = site::newShotId(), secret = site::newSecret();
    for (const std::string& bad : {id.substr(1), id + "0", "ABCDEF" + id.substr(6), "../" + id.substr(3)})
        EXPECT_FALSE(site::isShotId(bad)) << bad;
    for (const std::string& bad : {secret + "A", secret.substr(0, 42) + "=", secret.substr(0, 42) + " "})
        EXPECT_FALSE(site::looksLikeSecret(bad)) << bad;
    EXPECT_FALSE(site::constantTimeEqual("same", "sane"));
    EXPECT_FALSE(site::constantTimeEqual("", "x"));
}

TEST(LinkCode, EightVariedLettersWithoutLookAlikesTypedInAnyForm) {
    for (char c : std::string_view("0O1IL2Z5S8B6GUVQ")) EXPECT_EQ(site::kLinkCodeAlphabet.find(c), std::string::npos) << c;
    std::set<std::string> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string code = site::newLinkCode();
        EXPECT_EQ(site::normalizeLinkCode(code), code);  // eight letters of the alphabet
        seen.insert(code);
    }
    EXPECT_GT(seen.size(), 495u);
    EXPECT_EQ(site::formatLinkCode("ACDE3479"), "ACDE-3479");
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {" a-c-d-e 3479 ", "ACDE3479"}, {"mnpr-twxy", "MNPRTWXY"}, {"ACDE347", std::nullopt},
        {"ACDE34799", std::nullopt},    {"ACDE347O", std::nullopt}, {"ACDE34\xd0\x90" "9", std::nullopt},
        {std::string("ACDE\0" "3479", 9), std::nullopt},
    };
    for (const auto& [typed, code] : cases) EXPECT_EQ(site::normalizeLinkCode(typed), code) << typed;
}

using site::PngProblem;
using site_test::pngChunk;

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

std::string header(std::uint32_t width, std::uint32_t height, unsigned depth, unsigned colour, unsigned interlace = 0) {
    std::string data;
    for (std::uint32_t v : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) data.push_back(static_cast<char>(v >> shift));
    }
    return data + std::string{static_cast<char>(depth), static_cast<char>(colour), 0, 0, static_cast<char>(interlace)};
}

std::string fileWith(const std::string& ihdrData) {
    return kSignature + pngChunk("IHDR", ihdrData) + pngChunk("IDAT", "x") + pngChunk("IEND", "");
}

std::string flipped(std::string bytes, std::size_t at) {
    bytes[at] ^= 0x01;
    return bytes;
}

// Each file is judged whole and fed in pieces of several sizes: the verdict
// must be the same.
TEST(PngCheck, VerdictsWholeAndInPieces) {
    const std::string png = site_test::makePng(16, 16, 4);
    const std::string start = kSignature + pngChunk("IHDR", header(1, 1, 8, 2));
    const struct {
        const char* what;
        std::string bytes;
        PngProblem expected;
    } cases[] = {
        {"a real file", png, PngProblem::None},
        {"RGBA", fileWith(header(1, 1, 8, 6)), PngProblem::None},
        {"an interlaced 1-bit palette", fileWith(header(1, 1, 1, 3, 1)), PngProblem::None},
        {"7 bytes", png.substr(0, 7), PngProblem::NoSignature},
        {"no header chunk", kSignature + pngChunk("IDAT", "x") + pngChunk("IEND", ""), PngProblem::BadHeader},
        {"a header checksum", flipped(png, 29), PngProblem::BadHeader},
        {"width 0", fileWith(header(0, 1, 8, 2)), PngProblem::BadHeader},
        {"width 2^31", fileWith(header(0x80000000u, 1, 8, 2)), PngProblem::BadHeader},
        {"4-bit RGB", fileWith(header(1, 1, 4, 2)), PngProblem::BadHeader},
        {"16-bit palette", fileWith(header(1, 1, 16, 3)), PngProblem::BadHeader},
        {"interlace 2", fileWith(header(1, 1, 8, 2, 2)), PngProblem::BadHeader},
        {"a long header", fileWith(header(1, 1, 8, 2) + "x"), PngProblem::BadHeader},
        {"a data checksum", flipped(png, 45), PngProblem::BrokenChunk},
        {"a length past the end", start + "\x7f\xff\xff\xff" "IDAT", PngProblem::BrokenChunk},
        {"a length over the limit", start + "\xff\xff\xff\xff" "IDAT" + std::string(8, 0), PngProblem::BrokenChunk},
        {"no data", start + pngChunk("IEND", ""), PngProblem::NoImageData},
        {"bytes after the end", png + "x", PngProblem::NoEnd},
        {"an end with data", start + pngChunk("IDAT", "x") + pngChunk("IEND", "z"), PngProblem::NoEnd},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(site::checkPng(c.bytes), c.expected) << c.what;
        for (std::size_t piece : {1, 3, 13}) {
            site::PngChecker checker;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece) checker.feed(std::string_view(c.bytes).substr(at, piece));
            EXPECT_EQ(checker.finish(), c.expected) << c.what << " in pieces of " << piece;
        }
    }
}

}  // namespace
