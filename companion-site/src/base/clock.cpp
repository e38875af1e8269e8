#include "base/clock.h"

#include <chrono>

namespace site {

std::int64_t systemClock() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace site
