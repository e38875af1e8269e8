#include "security/link_code.h"

#include "security/secrets.h"

namespace site {

std::string newLinkCode() {
    return randomText(kLinkCodeAlphabet, kLinkCodeLength);
}

std::string formatLinkCode(std::string_view code) {
    const std::size_t half = code.size() / 2;
    return std::string(code.substr(0, half)) + "-" + std::string(code.substr(half));
}

std::optional<std::string> normalizeLinkCode(std::string_view typed) {
    std::string code;
    for (char c : typed) {
        if (c == ' ' || c == '-' || c == '\t') continue;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (kLinkCodeAlphabet.find(c) == std::string_view::npos || code.size() == kLinkCodeLength) return std::nullopt;
        code.push_back(c);
    }
    if (code.size() != kLinkCodeLength) return std::nullopt;
    return code;
}

}  // namespace site
