#include "observability/access_log.h"

#include <cstdio>

#include "base/utc_time.h"

namespace site {
namespace {

constexpr std::size_t kLoggedLength = 120;

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : safeForLog(text);
}

}  // namespace

std::string safeForLog(std::string_view text) {
    std::string safe;
    for (unsigned char c : text.substr(0, kLoggedLength)) {
        // Terminals obey C1 controls (0x80-0x9f, as in UTF-8's \xc2\x9b) as
        // well as C0 ones, so every byte but printable ASCII is escaped.
        if (c < 0x20 || c >= 0x7f || c == '\\' || c == '"') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            safe += escaped;
        } else {
            safe.push_back(static_cast<char>(c));
        }
    }
    return text.size() > kLoggedLength ? safe + "..." : safe;
}

std::string accessLogLine(const AccessRecord& record) {
    char tail[96];
    std::snprintf(tail, sizeof tail, " HTTP/%u.%u\" %d %llu %.3f\n", record.version / 10, record.version % 10,
                  record.status, static_cast<unsigned long long>(record.bytes), record.seconds);
    return orDash(record.client) + " - - [" + formatUtcTime(record.startedAt, "%d/%b/%Y:%H:%M:%S +0000") + "] \"" +
           orDash(record.method) + " " + orDash(record.path) + tail;
}

}  // namespace site
