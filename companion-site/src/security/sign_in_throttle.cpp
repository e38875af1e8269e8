#include "security/sign_in_throttle.h"

#include <algorithm>

namespace site {

std::int64_t signInWaitAfter(int failures) {
    if (failures < kFreeFailures) return 0;
    const int doublings = std::min(failures - kFreeFailures, 16);
    return std::min(kLongestWaitSeconds, kFirstWaitSeconds << doublings);
}

std::int64_t SignInThrottle::attempt(const std::string& name, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const Failures* earlier = failures_.find(name);
    const bool remembered = earlier && now - earlier->last < kFailureMemorySeconds;
    if (remembered) {
        const std::int64_t wait = earlier->last + signInWaitAfter(earlier->count) - now;
        if (wait > 0) return wait;
    }
    failures_.renew(name, Failures{remembered ? earlier->count + 1 : 1, now});
    return 0;
}

void SignInThrottle::succeeded(const std::string& name) {
    std::lock_guard lock(mutex_);
    failures_.erase(name);
}

void SignInThrottle::forgetExpired(std::int64_t now) {
    std::lock_guard lock(mutex_);
    failures_.eraseIf([&](const Failures& failures) { return now - failures.last >= kFailureMemorySeconds; });
}

}  // namespace site
