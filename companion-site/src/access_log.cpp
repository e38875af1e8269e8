#include "access_log.h"

#include <cstdio>
#include <ctime>

#include "site.h"

namespace site {
namespace {

std::string logTime(std::int64_t unixSeconds) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    char text[40] = "-";
    if (gmtime_r(&time, &parts)) std::strftime(text, sizeof text, "%d/%b/%Y:%H:%M:%S +0000", &parts);
    return text;
}

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : pathForLog(text);
}

}  // namespace

std::string accessLogLine(const AccessRecord& record) {
    char tail[96];
    std::snprintf(tail, sizeof tail, " HTTP/%u.%u\" %d %llu %.3f\n", record.version / 10, record.version % 10,
                  record.status, static_cast<unsigned long long>(record.bytes), record.seconds);
    return orDash(record.client) + " - - [" + logTime(record.startedAt) + "] \"" + orDash(record.method) + " " +
           orDash(record.path) + tail;
}

}  // namespace site
