#pragma once
// The time as the site counts it: whole seconds since 1970 UTC.

#include <cstdint>
#include <functional>

namespace site {

// Seconds since 1970 UTC; tests move it by hand.
using Clock = std::function<std::int64_t()>;
std::int64_t systemClock();

}  // namespace site
