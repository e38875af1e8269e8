#include "command_line.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace site {
namespace {

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::string CommandLine::option(const std::string& name, const std::string& fallback) const {
    const auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const std::set<std::string>& optionNames,
                             const std::set<std::string>& flagNames) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!argument.starts_with("--")) {
            line.words.push_back(argument);
            continue;
        }
        const std::string name = argument.substr(2);
        if (flagNames.count(name)) {
            line.flags.insert(name);
        } else if (optionNames.count(name)) {
            if (i + 1 >= arguments.size()) throw std::runtime_error("--" + name + " needs a value");
            line.options[name] = arguments[++i];
        } else {
            throw std::runtime_error("unknown option " + argument);
        }
    }
    return line;
}

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
