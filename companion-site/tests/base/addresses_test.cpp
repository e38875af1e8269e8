// The addresses the server is told to listen on and to give out.

#include <gtest/gtest.h>

#include "base/addresses.h"

namespace {

// The options themselves are tried by running the program's commands.
TEST(Addresses, ListenAddressesAndPublicUrls) {
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

}  // namespace
