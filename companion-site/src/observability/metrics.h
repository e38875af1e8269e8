#pragma once
// Counters and histograms that many threads bump without a lock, and the
// page Prometheus reads them from (text format 0.0.4). Label values are
// fixed names chosen by the code (plain words and numbers, nothing to
// escape), never anything a request carries.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace site {

class Counter {
public:
    void add(std::uint64_t amount = 1) { value_.fetch_add(amount, std::memory_order_relaxed); }
    std::uint64_t value() const { return value_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> value_{0};
};

// Durations in seconds, counted in buckets with the given upper bounds
// (rising, kept by the caller for the histogram's life).
class Histogram {
public:
    explicit Histogram(std::span<const double> bounds);
    void observe(double seconds);

    std::span<const double> bounds() const { return bounds_; }
    // The count of the bucket `index`; the last index, bounds().size(), is
    // what lies above every bound.
    std::uint64_t bucket(std::size_t index) const { return buckets_[index].load(std::memory_order_relaxed); }
    double sum() const { return static_cast<double>(nanoseconds_.load(std::memory_order_relaxed)) / 1e9; }

private:
    std::span<const double> bounds_;
    std::unique_ptr<std::atomic<std::uint64_t>[]> buckets_;
    std::atomic<std::uint64_t> nanoseconds_{0};
};

// Observes the seconds from its making to its end in a histogram, if given
// one.
class OperationTimer {
public:
    explicit OperationTimer(Histogram* histogram)
        : histogram_(histogram), start_(std::chrono::steady_clock::now()) {}
    OperationTimer(OperationTimer&& other) noexcept
        : histogram_(std::exchange(other.histogram_, nullptr)), start_(other.start_) {}
    OperationTimer& operator=(OperationTimer&&) = delete;
    ~OperationTimer() {
        if (histogram_)
            histogram_->observe(std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count());
    }

private:
    Histogram* histogram_;
    std::chrono::steady_clock::time_point start_;
};

// Bounds for request durations, 1 ms to 5 minutes.
std::span<const double> durationBounds();
// Bounds for store operations, 0.1 ms to 10 s.
std::span<const double> storeDurationBounds();

using Labels = std::initializer_list<std::pair<std::string_view, std::string_view>>;

// The text of a metrics page, family by family.
class MetricsPage {
public:
    // The HELP and TYPE lines that come before a family's samples.
    void family(std::string_view name, std::string_view type, std::string_view help);
    void sample(std::string_view name, Labels labels, double value);
    // The buckets (cumulative, ending with +Inf), the sum and the count.
    void histogram(std::string_view name, Labels labels, const Histogram& histogram);

    const std::string& text() const { return text_; }

private:
    std::string text_;

    void line(std::string_view name, Labels labels, std::string_view extraName, std::string_view extraValue,
              double value);
};

}  // namespace site
