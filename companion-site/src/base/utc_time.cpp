#include "base/utc_time.h"

#include <ctime>

namespace site {

std::string formatUtcTime(std::int64_t unixSeconds, const char* format) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    char text[40] = "";
    if (gmtime_r(&time, &parts)) std::strftime(text, sizeof text, format, &parts);
    return text;
}

}  // namespace site
