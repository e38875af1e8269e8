#include "observability/metrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace site {
namespace {

constexpr double kDurationBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25,
                                      0.5,   1,      2.5,   5,    10,    30,   60,  300};

constexpr double kStoreDurationBounds[] = {0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01,
                                           0.025,  0.05,    0.1,    0.25,  0.5,    1,     10};

std::string number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

}  // namespace

Histogram::Histogram(std::span<const double> bounds)
    : bounds_(bounds), buckets_(std::make_unique<std::atomic<std::uint64_t>[]>(bounds.size() + 1)) {}

void Histogram::observe(double seconds) {
    seconds = std::max(0.0, seconds);
    const auto at =
        static_cast<std::size_t>(std::lower_bound(bounds_.begin(), bounds_.end(), seconds) - bounds_.begin());
    buckets_[at].fetch_add(1, std::memory_order_relaxed);
    nanoseconds_.fetch_add(static_cast<std::uint64_t>(std::llround(seconds * 1e9)), std::memory_order_relaxed);
}

std::span<const double> durationBounds() {
    return kDurationBounds;
}

std::span<const double> storeDurationBounds() {
    return kStoreDurationBounds;
}

void MetricsPage::family(std::string_view name, std::string_view type, std::string_view help) {
    text_.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text_.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void MetricsPage::sample(std::string_view name, Labels labels, double value) {
    line(name, labels, {}, {}, value);
}

void MetricsPage::line(std::string_view name, Labels labels, std::string_view extraName, std::string_view extraValue,
                       double value) {
    text_.append(name);
    std::string inside;
    for (const auto& [label, content] : labels)
        inside.append(inside.empty() ? "" : ",").append(label).append("=\"").append(content).append("\"");
    if (!extraName.empty())
        inside.append(inside.empty() ? "" : ",").append(extraName).append("=\"").append(extraValue).append("\"");
    if (!inside.empty()) text_.append("{").append(inside).append("}");
    text_.append(" ").append(number(value)).append("\n");
}

// Each bucket is read once, so the +Inf bucket and the count always agree
// even while other threads observe.
void MetricsPage::histogram(std::string_view name, Labels labels, const Histogram& histogram) {
    const std::string bucketName = std::string(name) + "_bucket";
    std::uint64_t total = 0;
    const auto bounds = histogram.bounds();
    for (std::size_t i = 0; i < bounds.size(); ++i) {
        total += histogram.bucket(i);
        line(bucketName, labels, "le", number(bounds[i]), static_cast<double>(total));
    }
    total += histogram.bucket(bounds.size());
    line(bucketName, labels, "le", "+Inf", static_cast<double>(total));
    line(std::string(name) + "_sum", labels, {}, {}, histogram.sum());
    line(std::string(name) + "_count", labels, {}, {}, static_cast<double>(total));
}

}  // namespace site
