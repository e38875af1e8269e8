#pragma once
// At most a number of attempts per key (a client address) in a fixed window.

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

namespace site {

class RateLimiter {
public:
    RateLimiter(int maxAttempts, std::int64_t windowSeconds, std::size_t maxKeys = 100000);

    // Counts one attempt; false when the key has used up its window. When the
    // table is full of live windows, new keys are refused rather than let in.
    bool allow(const std::string& key, std::int64_t now);

    void forgetExpired(std::int64_t now);

private:
    struct Window {
        std::int64_t start;
        int attempts;
    };

    const int maxAttempts_;
    const std::int64_t windowSeconds_;
    const std::size_t maxKeys_;
    std::mutex mutex_;
    std::unordered_map<std::string, Window> windows_;

    void forgetExpiredLocked(std::int64_t now);
};

}  // namespace site
