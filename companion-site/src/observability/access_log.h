#pragma once
// One line per request in the common log format with the time taken
// appended, as nginx writes `$request_time`:
//   192.0.2.10 - - [06/Jan/2026:08:49:37 +0000] "GET /api/me HTTP/1.1" 200 57 0.004
// Every field is made safe as `safeForLog` does; the bytes are those of the
// answer's body.

#include <cstdint>
#include <string>
#include <string_view>

namespace site {

struct AccessRecord {
    std::string client;  // the peer's address
    std::int64_t startedAt = 0;  // seconds since 1970 UTC
    std::string method;
    std::string path;
    unsigned version = 11;  // 10 or 11
    int status = 0;
    std::uint64_t bytes = 0;
    double seconds = 0;
};

std::string accessLogLine(const AccessRecord& record);

// Text as the log may show it: past 120 bytes cut off, control bytes,
// quotes and backslashes written as \xNN, so no line can pass for another.
std::string safeForLog(std::string_view text);

}  // namespace site
