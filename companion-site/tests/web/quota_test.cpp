// Daily upload allowance.

#include <gtest/gtest.h>

#include "web/quota.h"

namespace {

TEST(Quota, DayRunsFromMidnightToMidnightUtc) {
    constexpr std::int64_t day = 20454;  // 2026-01-01
    const std::int64_t cases[][2] = {{day * 86400, day}, {day * 86400 + 86399, day}, {day * 86400 - 1, day - 1},
                                     {-1, -1},           {-86400, -1},               {-86401, -2}};
    for (const auto& [seconds, expected] : cases) EXPECT_EQ(site::utcDay(seconds), expected) << seconds;
    EXPECT_EQ(site::dailyLimit(false), 30);
    EXPECT_EQ(site::dailyLimit(true), 1000);
}

}  // namespace
