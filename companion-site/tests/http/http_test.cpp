// Connection caps, framing, forms and cookies.

#include <gtest/gtest.h>

#include "http/connection_limits.h"
#include "http/forms.h"
#include "http/rules.h"

namespace {

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
TEST(Framing, TwoWaysToTellTheBodysLengthOrHostAreRefused) {
    using Lines = std::vector<site::HeaderLine>;
    const site::HeaderLine host{"host", "a"};
    EXPECT_EQ(site::framingProblem(Lines{host, {"content-length", "5"}, {"transfer-encoding", "chunked"}}, 11, false), 400);
    EXPECT_EQ(site::framingProblem(Lines{host, {"content-length", "5"}}, 11, false), 0);
    EXPECT_EQ(site::framingProblem(Lines{host, host}, 10, false), 400);
    EXPECT_EQ(site::framingProblem(Lines{}, 11, false), 400);
    EXPECT_EQ(site::framingProblem(Lines{}, 10, false), 0);
    EXPECT_EQ(site::framingProblem(Lines{host}, 11, true), 400);
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

}  // namespace
