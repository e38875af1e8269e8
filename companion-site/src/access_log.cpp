#include "access_log.h"

#include <cstdio>

#include "base/utc_time.h"
#include "site.h"

namespace site {
namespace {

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : pathForLog(text);
}

}  // namespace

std::string accessLogLine(const AccessRecord& record) {
    char tail[96];
    std::snprintf(tail, sizeof tail, " HTTP/%u.%u\" %d %llu %.3f\n", record.version / 10, record.version % 10,
                  record.status, static_cast<unsigned long long>(record.bytes), record.seconds);
    return orDash(record.client) + " - - [" + formatUtcTime(record.startedAt, "%d/%b/%Y:%H:%M:%S +0000") + "] \"" +
           orDash(record.method) + " " + orDash(record.path) + tail;
}

}  // namespace site
