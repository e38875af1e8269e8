#pragma once
// Failed sign-ins per account name, whatever the addresses they come from.
// Past kFreeFailures failures, each further try waits longer (30 s, 1, 2,
// 4, 8 minutes) up to kLongestWait, counted from the last failure; a
// success, or kFailureMemory without failures, forgets them. So guessing
// one account is slow from any number of addresses, and the owner is never
// locked out for longer than the longest wait.

#include <cstdint>
#include <mutex>
#include <string>

#include "base/oldest_first_map.h"
#include "security/attempt_limiter.h"

namespace site {

inline constexpr int kFreeFailures = 10;
inline constexpr std::int64_t kFirstWaitSeconds = 30;
inline constexpr std::int64_t kLongestWaitSeconds = 10 * 60;
inline constexpr std::int64_t kFailureMemorySeconds = 15 * 60;

// The wait after `failures` failures in a row.
std::int64_t signInWaitAfter(int failures);

// Kept in memory, for one process.
class SignInThrottle final : public FailedSignIns {
public:
    explicit SignInThrottle(std::size_t maxNames = 100000) : failures_(maxNames) {}

    std::int64_t attempt(const std::string& name, std::int64_t now) override;
    void succeeded(const std::string& name) override;
    void forgetExpired(std::int64_t now) override;

private:
    struct Failures {
        int count;
        std::int64_t last;
    };

    std::mutex mutex_;
    OldestFirstMap<Failures> failures_;
};

}  // namespace site
