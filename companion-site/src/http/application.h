#pragma once
// All the HTTP server knows of the application it serves: a few calls,
// never its routes, pages or stores. The server makes them from its worker
// threads, several at once; quickAnswer alone from the threads that carry
// the connections' bytes, which must never wait.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/byte_stream.h"
#include "http/request.h"
#include "http/response.h"

namespace site {

class MetricsPage;

// What becomes of a request's body, decided from the request line and the
// headers alone, before any of the body is read.
struct Admission {
    std::optional<SiteResponse> refusal;  // answer at once, the body unread
    std::size_t bodyLimit = 0;            // the most body bytes the route takes
    std::shared_ptr<ByteSink> bodySink;   // set: the body streams into it
};

// The routes by fixed names, for the metrics.
struct RouteNames {
    std::span<const char* const> names;  // every route's, "other" last for requests no route takes
    std::string_view upload;             // the route whose answers tell uploads kept from refused
};

class Application {
public:
    virtual ~Application() = default;

    // For a request that declares a body, from its headers alone: a refusal
    // to send before any of the body is read, or how much body the route
    // takes and where it streams to. Never throws.
    virtual Admission admit(const SiteRequest& request) = 0;
    // The answer to a whole request. Never throws.
    virtual SiteResponse handle(const SiteRequest& request) = 0;
    // handle's answer when it takes no wait (for the store, the disk or
    // the network) and no password hash, so that the server can give it
    // without handing the request to a worker; else none. Never throws.
    virtual std::optional<SiteResponse> quickAnswer(const SiteRequest& request) = 0;
    // The answer for a status the server decides on its own: a malformed
    // request, headers past their limits, a body it could not hand over.
    virtual SiteResponse fallback(int status, const std::string& path) const = 0;

    virtual RouteNames routeNames() const = 0;
    // The index of the request's route in routeNames().names.
    virtual std::size_t routeOf(const SiteRequest& request) const = 0;
    // A request path as logs may show it, its secret parts cut off.
    virtual std::string shownPath(const std::string& path) const = 0;
    // The most body bytes any route takes: as much as the server reads and
    // drops of a body it answered before reading.
    virtual std::uint64_t largestBody() const = 0;

    // Forgets what has expired; called every so often. Never throws.
    virtual void sweep() = 0;
    // The application's own figures, after the server's. Never throws.
    virtual void writeMetrics(MetricsPage& page) = 0;
};

}  // namespace site
