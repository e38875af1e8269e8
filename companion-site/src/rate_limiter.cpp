#include "rate_limiter.h"

namespace site {

RateLimiter::RateLimiter(int maxAttempts, std::int64_t windowSeconds, std::size_t maxKeys)
    : maxAttempts_(maxAttempts), windowSeconds_(windowSeconds), maxKeys_(maxKeys) {}

bool RateLimiter::allow(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    auto found = windows_.find(key);
    if (found == windows_.end()) {
        if (windows_.size() >= maxKeys_) forgetExpiredLocked(now);
        if (windows_.size() >= maxKeys_) return false;
        windows_.emplace(key, Window{now, 1});
        return true;
    }
    Window& window = found->second;
    if (now - window.start >= windowSeconds_ || now < window.start) window = {now, 0};
    if (window.attempts >= maxAttempts_) return false;
    ++window.attempts;
    return true;
}

void RateLimiter::forgetExpired(std::int64_t now) {
    std::lock_guard lock(mutex_);
    forgetExpiredLocked(now);
}

void RateLimiter::forgetExpiredLocked(std::int64_t now) {
    std::erase_if(windows_, [&](const auto& entry) { return now - entry.second.start >= windowSeconds_; });
}

}  // namespace site
