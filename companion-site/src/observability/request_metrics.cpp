#include "observability/request_metrics.h"

#include <string>

namespace site {
namespace {

// An upload's answer names why it was refused.
struct Refusal {
    int status;
    const char* reason;
};
constexpr Refusal kRefusals[] = {
    {400, "malformed"}, {401, "token"}, {413, "too_large"}, {415, "not_png"}, {429, "daily_limit"}, {0, "error"},
};

std::size_t refusalOf(int status) {
    std::size_t at = 0;
    while (kRefusals[at].status != 0 && kRefusals[at].status != status) ++at;
    return at;
}

}  // namespace

RequestMetrics::RequestMetrics(std::span<const char* const> routes, std::string_view uploadRoute)
    : uploadRoute_(routes.size()) {
    for (const char* name : routes) {
        if (name == uploadRoute) uploadRoute_ = routes_.size();
        routes_.push_back(std::make_unique<Route>());
        routes_.back()->name = name;
    }
    for ([[maybe_unused]] const Refusal& refusal : kRefusals) uploadsRefused_.push_back(std::make_unique<Counter>());
}

void RequestMetrics::record(std::size_t route, int status, double seconds, std::uint64_t bytesIn,
                            std::uint64_t bytesOut) {
    Route& counted = *routes_.at(route);
    if (status >= kLowestStatus && status < kLowestStatus + kStatuses) counted.byStatus[status - kLowestStatus].add();
    counted.durations.observe(seconds);
    bytesIn_.add(bytesIn);
    bytesOut_.add(bytesOut);
    if (route != uploadRoute_) return;
    if (status >= 200 && status < 300) {
        uploadsAccepted_.add();
    } else {
        uploadsRefused_[refusalOf(status)]->add();
    }
}

void RequestMetrics::write(MetricsPage& page) const {
    page.family("clipvane_http_requests_total", "counter", "Requests answered, by route and status.");
    for (const auto& route : routes_) {
        for (int i = 0; i < kStatuses; ++i) {
            const std::uint64_t count = route->byStatus[i].value();
            if (count > 0)
                page.sample("clipvane_http_requests_total",
                            {{"route", route->name}, {"code", std::to_string(kLowestStatus + i)}},
                            static_cast<double>(count));
        }
    }
    page.family("clipvane_http_request_duration_seconds", "histogram",
                "Time from a request's headers to the end of its answer, by route.");
    for (const auto& route : routes_)
        page.histogram("clipvane_http_request_duration_seconds", {{"route", route->name}}, route->durations);
    page.family("clipvane_http_request_body_bytes_total", "counter", "Request body bytes received.");
    page.sample("clipvane_http_request_body_bytes_total", {}, static_cast<double>(bytesIn_.value()));
    page.family("clipvane_http_response_body_bytes_total", "counter", "Answer body bytes sent.");
    page.sample("clipvane_http_response_body_bytes_total", {}, static_cast<double>(bytesOut_.value()));
    page.family("clipvane_uploads_accepted_total", "counter", "Shots uploaded and kept.");
    page.sample("clipvane_uploads_accepted_total", {}, static_cast<double>(uploadsAccepted_.value()));
    page.family("clipvane_uploads_refused_total", "counter", "Uploads refused, by reason.");
    for (std::size_t i = 0; i < uploadsRefused_.size(); ++i)
        page.sample("clipvane_uploads_refused_total", {{"reason", kRefusals[i].reason}},
                    static_cast<double>(uploadsRefused_[i]->value()));
}

}  // namespace site
