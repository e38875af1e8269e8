#pragma once
// One HTTPS exchange with the site, as plain decisions over a small network
// interface: the Windows side supplies the real connection, tests a scripted one.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

inline constexpr char kUserAgent[] = "Clipvane/1.0";
inline constexpr std::size_t kMaxResponseBytes = 4194304;

struct HttpTimeouts {
    int resolveMs = 10000;
    int connectMs = 10000;
    int sendMs = 15000;
    int receiveMs = 20000;
};

// The network side of one exchange. Each call happens at most once, in the
// order declared, except bytesAvailable/readInto which alternate.
class HttpConnection {
public:
    virtual ~HttpConnection() = default;
    // The root handle with user agent, proxy mode and time-outs.
    virtual bool openSession(const HttpTimeouts& timeouts) = 0;
    // Connection and request handle (secure, redirects never followed).
    virtual bool openRequest(const std::string& host, std::uint16_t port, const std::string& method,
                             const std::string& path) = 0;
    // Sends the header block and body, then waits for the response head.
    virtual bool exchange(const std::string& headers, std::string_view body) = 0;
    // The status code, 0 when none was delivered.
    virtual std::uint32_t statusCode() = 0;
    // Nothing when the question itself failed.
    virtual std::optional<std::size_t> bytesAvailable() = 0;
    // How many bytes landed in the buffer; nothing when reading failed.
    virtual std::optional<std::size_t> readInto(char* buffer, std::size_t size) = 0;
};

// Text is UTF-8 throughout; the Windows side converts at its boundary.
struct HttpCall {
    std::string baseUrl;
    std::string token;  // empty: no Authorization header
    std::string method;
    std::string path;
    std::string_view body;  // sent as is; the caller keeps it alive
    bool isPng = false;
};

// Each header ends in CR LF: the content type always, the bearer token only
// when there is one.
std::string requestHeaders(const std::string& token, bool isPng);

// Runs the exchange and returns the parsed body of a 2xx answer. Every
// failure is a std::runtime_error with a sentence for the status line, or
// the JSON library's type error for an unusable error body.
nlohmann::json performRequest(HttpConnection& connection, const HttpCall& call);
