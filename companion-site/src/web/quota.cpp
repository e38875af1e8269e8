#include "web/quota.h"

namespace site {

int dailyLimit(bool pro) {
    return pro ? kProDailyLimit : kFreeDailyLimit;
}

std::int64_t utcDay(std::int64_t unixSeconds) {
    std::int64_t day = unixSeconds / kSecondsPerDay;
    if (unixSeconds % kSecondsPerDay < 0) --day;
    return day;
}

}  // namespace site
