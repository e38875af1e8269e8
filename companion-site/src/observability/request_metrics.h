#pragma once
// What the HTTP server counts of its requests, by route name: how many with
// which status, how long they took, the body bytes in and out, and what
// became of uploads.

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "observability/metrics.h"

namespace site {

class RequestMetrics {
public:
    // `routes`: every route's name; `uploadRoute` is the one whose answers
    // tell uploads accepted from uploads refused.
    RequestMetrics(std::span<const char* const> routes, std::string_view uploadRoute);

    void record(std::size_t route, int status, double seconds, std::uint64_t bytesIn, std::uint64_t bytesOut);
    void write(MetricsPage& page) const;

private:
    static constexpr int kLowestStatus = 100;
    static constexpr int kStatuses = 500;

    struct Route {
        const char* name;
        std::array<Counter, kStatuses> byStatus;
        Histogram durations{durationBounds()};
    };

    std::vector<std::unique_ptr<Route>> routes_;
    std::size_t uploadRoute_;
    Counter bytesIn_, bytesOut_;
    Counter uploadsAccepted_;
    std::vector<std::unique_ptr<Counter>> uploadsRefused_;  // by the reasons' order
};

}  // namespace site
