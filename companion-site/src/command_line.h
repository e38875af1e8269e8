#pragma once
// The subcommands' arguments: words, "--name value" options and flags.

#include <optional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace site {

struct CommandLine {
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
    std::set<std::string> flags;

    std::string option(const std::string& name, const std::string& fallback = "") const;
    bool flag(const std::string& name) const { return flags.count(name) > 0; }
};

// Names in `flagNames` take no value; every other "--name" takes the next
// argument. Throws a runtime error for an option without its value or an
// unknown name.
CommandLine parseCommandLine(const std::vector<std::string>& arguments, const std::set<std::string>& optionNames,
                             const std::set<std::string>& flagNames);

struct ListenAddress {
    std::string host;
    int port = 0;  // 0: any free port
};

// "127.0.0.1:8443", "[::1]:8443", "0.0.0.0:443".
std::optional<ListenAddress> parseListenAddress(const std::string& text);

// https://host[:port] with nothing after it but one optional slash.
bool isPublicUrl(const std::string& text);

}  // namespace site
