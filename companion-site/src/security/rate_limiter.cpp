#include "security/rate_limiter.h"

namespace site {

RateLimiter::RateLimiter(int maxAttempts, std::int64_t windowSeconds, std::size_t maxKeys)
    : maxAttempts_(maxAttempts), windowSeconds_(windowSeconds), windows_(maxKeys) {}

bool RateLimiter::allow(const std::string& key, std::int64_t now) {
    std::lock_guard lock(mutex_);
    Window* window = windows_.find(key);
    if (!window || now - window->start >= windowSeconds_ || now < window->start)
        window = &windows_.renew(key, Window{now, 0});
    if (window->attempts >= maxAttempts_) return false;
    ++window->attempts;
    return true;
}

void RateLimiter::forgetExpired(std::int64_t now) {
    std::lock_guard lock(mutex_);
    windows_.eraseIf([&](const Window& window) { return now - window.start >= windowSeconds_; });
}

}  // namespace site
