#pragma once
// Daily upload allowance. A day runs from 00:00 to 24:00 UTC.

#include <cstdint>

namespace site {

inline constexpr int kFreeDailyLimit = 30;
inline constexpr int kProDailyLimit = 1000;
inline constexpr std::int64_t kSecondsPerDay = 86400;
inline constexpr std::int64_t kShotLifetimeSeconds = 14 * kSecondsPerDay;
inline constexpr std::size_t kMaxShotBytes = 12582912;

int dailyLimit(bool pro);

// Days since 1970-01-01 UTC, rounded down also before 1970.
std::int64_t utcDay(std::int64_t unixSeconds);

}  // namespace site
