#pragma once
// What all client connections of the server share.

#include <boost/asio/ssl/context.hpp>
#include <boost/asio/thread_pool.hpp>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "http/application.h"
#include "http/connection_limits.h"
#include "observability/request_metrics.h"
#include "server/net.h"

namespace site {

class ClientConnection;

struct Shared {
    Application& app;
    asio::ssl::context& tls;
    ConnectionLimits limits;
    std::optional<asio::thread_pool> workers;  // for the application's work
    std::atomic<bool> stopping{false};
    std::atomic<bool> trimDue{false};  // a connection ended since memory was last given back
    std::mutex mutex;
    std::unordered_map<ClientConnection*, std::weak_ptr<ClientConnection>> open;
    RequestMetrics requests{app.routeNames().names, app.routeNames().upload};
};

}  // namespace site
