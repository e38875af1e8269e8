#include "http/rules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>

namespace site {
namespace {

constexpr std::size_t kMaxLengthDigits = 18;

std::string trimmedLower(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    for (char& c : trimmed) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return trimmed;
}

bool isLength(const std::string& value) {
    return !value.empty() && value.size() <= kMaxLengthDigits &&
           std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

int framingProblem(const std::vector<HeaderLine>& lines, unsigned version, bool folded) {
    if (lines.size() > kMaxHeaderLines) return 431;
    if (folded) return 400;
    int lengths = 0, codings = 0, hosts = 0;
    for (const HeaderLine& line : lines) {
        if (line.name == "host") {
            ++hosts;
        } else if (line.name == "content-length") {
            ++lengths;
            if (!isLength(line.value)) return 400;
        } else if (line.name == "transfer-encoding") {
            ++codings;
            if (trimmedLower(line.value) != "chunked") return 400;
        }
    }
    if (hosts > 1 || (version == 11 && hosts == 0)) return 400;
    return lengths + codings > 1 ? 400 : 0;
}

bool hasFoldedLine(std::string_view headerBytes) {
    return headerBytes.find("\n ") != std::string_view::npos || headerBytes.find("\n\t") != std::string_view::npos;
}

std::chrono::steady_clock::duration transferTime(std::uint64_t bytes) {
    return kTransferGrace + std::chrono::milliseconds(bytes * 1000 / kMinBytesPerSecond);
}

std::string httpDate(std::int64_t unixSeconds) {
    const std::time_t time = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[parts.tm_wday], parts.tm_mday,
                  kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::vector<std::pair<std::string, std::string>> standardHeaders(std::int64_t unixSeconds) {
    return {{"Date", httpDate(unixSeconds)},
            {"Strict-Transport-Security", "max-age=31536000"},
            {"X-Content-Type-Options", "nosniff"}};
}

std::string clientKey(const std::string& address) {
    in6_addr v6{};
    if (::inet_pton(AF_INET6, address.c_str(), &v6) != 1) return address;
    if (IN6_IS_ADDR_V4MAPPED(&v6)) return address.substr(address.rfind(':') + 1);
    std::fill(v6.s6_addr + 8, v6.s6_addr + 16, 0);
    char text[INET6_ADDRSTRLEN];
    ::inet_ntop(AF_INET6, &v6, text, sizeof text);
    return std::string(text) + "/64";
}

}  // namespace site
