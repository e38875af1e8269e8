#include "site/site_address.h"

#include <algorithm>
#include <cctype>

#include "site/site_api.h"

namespace {

constexpr std::string_view kScheme = "https://";

bool startsWithHttpsScheme(std::string_view address) {
    if (address.size() < kScheme.size()) return false;
    return std::equal(kScheme.begin(), kScheme.end(), address.begin(), [](char wanted, char given) {
        return wanted == std::tolower(static_cast<unsigned char>(given));
    });
}

std::optional<std::uint16_t> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

}  // namespace

std::optional<SiteOrigin> parseSiteAddress(std::string_view address) {
    if (!startsWithHttpsScheme(address)) return std::nullopt;
    std::string_view rest = address.substr(kScheme.size());
    if (rest.find_first_of("?#") != std::string_view::npos) return std::nullopt;

    size_t pathStart = rest.find('/');
    std::string_view authority = rest.substr(0, pathStart);
    std::string_view path = pathStart == std::string_view::npos ? std::string_view{} : rest.substr(pathStart);
    if (path.size() > 1) return std::nullopt;
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    SiteOrigin origin;
    size_t colon = authority.rfind(':');
    bool bracketed = !authority.empty() && authority.front() == '[';
    size_t bracketEnd = authority.find(']');
    if (colon != std::string_view::npos && (!bracketed || (bracketEnd != std::string_view::npos && colon > bracketEnd))) {
        std::optional<std::uint16_t> port = parsePort(authority.substr(colon + 1));
        if (!port) return std::nullopt;
        origin.port = *port;
        authority = authority.substr(0, colon);
    }
    if (authority.empty() || authority.find_first_of(" \t\r\n\\") != std::string_view::npos) return std::nullopt;
    origin.host = std::string(authority);
    return origin;
}

std::optional<std::string> accountPageUrl(const std::string& siteAddress) {
    if (siteAddress.rfind(kScheme, 0) != 0) return std::nullopt;
    return siteAddress + site_api::kAccountPagePath;
}
