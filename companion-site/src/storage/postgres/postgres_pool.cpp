#include "storage/postgres/postgres_pool.h"

#include <chrono>

#include "storage/store.h"

namespace site {
namespace {

constexpr auto kBusyWait = std::chrono::seconds(10);

}  // namespace

PgPool::PgPool(std::string url, int size) : url_(std::move(url)), size_(size) {
    idle_.push_back(std::make_unique<PgConnection>(url_));
    opened_ = 1;
}

PgPool::Lease::Lease(PgPool& pool, OperationTimer timer, std::unique_ptr<PgConnection> connection)
    : pool_(pool), timer_(std::move(timer)), connection_(std::move(connection)) {
    try {
        connection_->refresh();
    } catch (...) {
        pool_.giveBack(std::move(connection_));
        throw;
    }
}

PgPool::Lease::~Lease() {
    pool_.giveBack(std::move(connection_));
}

PgPool::Lease PgPool::lease() {
    OperationTimer timer(timing_);
    return Lease(*this, std::move(timer), take());
}

// An idle connection, or a new one while fewer than `size_` are open.
std::unique_ptr<PgConnection> PgPool::take() {
    std::unique_lock lock(mutex_);
    if (!returned_.wait_for(lock, kBusyWait, [this] { return !idle_.empty() || opened_ < size_; }))
        throw StoreUnavailable("all " + std::to_string(size_) + " database connections stayed busy");
    if (!idle_.empty()) {
        auto connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
    }
    ++opened_;
    lock.unlock();
    try {
        return std::make_unique<PgConnection>(url_);
    } catch (...) {
        lock.lock();
        --opened_;
        returned_.notify_one();
        throw;
    }
}

void PgPool::giveBack(std::unique_ptr<PgConnection> connection) {
    {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(connection));
    }
    returned_.notify_one();
}

}  // namespace site
