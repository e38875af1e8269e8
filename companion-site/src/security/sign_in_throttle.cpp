#include "security/sign_in_throttle.h"

#include <algorithm>

namespace site {

std::int64_t signInWaitAfter(int failures) {
    if (failures < kFreeFailures) return 0;
    const int doublings = std::min(failures - kFreeFailures, 16);
    return std::min(kLongestWaitSeconds, kFirstWaitSeconds << doublings);
}

std::int64_t SignInThrottle::waitFor(const std::string& name, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const Failures* failures = failures_.find(name);
    if (!failures) return 0;
    return std::max<std::int64_t>(0, failures->last + signInWaitAfter(failures->count) - now);
}

void SignInThrottle::failed(const std::string& name, std::int64_t now) {
    std::lock_guard lock(mutex_);
    const Failures* earlier = failures_.find(name);
    const bool remembered = earlier && now - earlier->last < kFailureMemorySeconds;
    failures_.renew(name, Failures{remembered ? earlier->count + 1 : 1, now});
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
