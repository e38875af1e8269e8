#include "http/forms.h"

namespace site {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

template <typename Visit>
void forEachPair(std::string_view text, char separator, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find(separator);
        const std::string_view pair = text.substr(0, end);
        const std::size_t equals = pair.find('=');
        if (equals != std::string_view::npos) visit(pair.substr(0, equals), pair.substr(equals + 1));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

}  // namespace

std::string percentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            decoded.push_back(' ');
        } else if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

std::map<std::string, std::string> parseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    forEachPair(body, '&', [&](std::string_view name, std::string_view value) {
        fields.emplace(percentDecode(name), percentDecode(value));
    });
    return fields;
}

std::map<std::string, std::string> parseCookies(std::string_view header) {
    std::map<std::string, std::string> cookies;
    forEachPair(header, ';', [&](std::string_view name, std::string_view value) {
        cookies.emplace(std::string(trim(name)), std::string(trim(value)));
    });
    return cookies;
}

}  // namespace site
