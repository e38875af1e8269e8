#pragma once
// The site address the user typed: an https origin, optionally with a port,
// with no path beyond one "/" and no query or fragment.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct SiteOrigin {
    std::string host;
    std::uint16_t port = 443;
};

// Nothing when the text is not such an origin (http, a path, a query, a
// fragment, user details, an empty host or an unusable port).
std::optional<SiteOrigin> parseSiteAddress(std::string_view address);

// Removes every trailing "/" of a typed address.
template <typename Text>
Text withoutTrailingSlashes(Text address) {
    while (!address.empty() && address.back() == '/') address.pop_back();
    return address;
}

// The account page of a stored site address: nothing unless the address
// begins with exactly "https://" (capital letters included).
std::optional<std::string> accountPageUrl(const std::string& siteAddress);
