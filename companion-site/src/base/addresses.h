#pragma once
// The addresses the server is told to listen on and to give out.

#include <optional>
#include <string>

namespace site {

struct ListenAddress {
    std::string host;
    int port = 0;  // 0: any free port
};

// "127.0.0.1:8443", "[::1]:8443", "0.0.0.0:443".
std::optional<ListenAddress> parseListenAddress(const std::string& text);

// https://host[:port] with nothing after it but one optional slash.
bool isPublicUrl(const std::string& text);

}  // namespace site
