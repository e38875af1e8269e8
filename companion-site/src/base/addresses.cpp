#include "base/addresses.h"

#include <algorithm>
#include <cctype>

namespace site {
namespace {

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']') return std::nullopt;
        host = host.substr(1, host.size() - 2);
    } else if (host.find(':') != std::string::npos) {
        return std::nullopt;
    }
    if (!allDigits(port) || port.size() > 5 || std::stoi(port) > 65535) return std::nullopt;
    return ListenAddress{host, std::stoi(port)};
}

bool isPublicUrl(const std::string& text) {
    constexpr std::string_view scheme = "https://";
    if (!text.starts_with(scheme)) return false;
    std::string rest = text.substr(scheme.size());
    if (rest.ends_with('/')) rest.pop_back();
    return !rest.empty() && rest.find_first_of("/?#@ \t\r\n\"'<>\\") == std::string::npos;
}

}  // namespace site
