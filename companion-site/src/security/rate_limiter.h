#pragma once
// Attempts counted in memory, for one process, in fixed windows.

#include <cstdint>
#include <mutex>
#include <string>

#include "base/oldest_first_map.h"
#include "security/attempt_limiter.h"

namespace site {

class RateLimiter final : public AttemptLimiter {
public:
    RateLimiter(int maxAttempts, std::int64_t windowSeconds, std::size_t maxKeys = 100000);

    // Counts one attempt; false when the key has used up its window. When
    // the table is full, the oldest window is forgotten to make room.
    bool allow(const std::string& key, std::int64_t now) override;

    void forgetExpired(std::int64_t now) override;

private:
    struct Window {
        std::int64_t start;
        int attempts;
    };

    const int maxAttempts_;
    const std::int64_t windowSeconds_;
    std::mutex mutex_;
    OldestFirstMap<Window> windows_;
};

}  // namespace site
