#include "storage/postgres/postgres_pool.h"

#include <chrono>

#include "storage/store.h"

namespace site {
namespace {

constexpr auto kBusyWait = std::chrono::seconds(10);
// Between tries of a database that stopped answering.
constexpr auto kProbePause = std::chrono::seconds(1);

}  // namespace

PgPool::PgPool(std::string url, int size) : url_(std::move(url)), size_(size) {
    idle_.push_back(std::make_unique<PgConnection>(url_));
    opened_ = 1;
}

PgPool::Lease::Lease(PgPool& pool, OperationTimer timer, std::unique_ptr<PgConnection> connection, bool probe)
    : pool_(pool), timer_(std::move(timer)), connection_(std::move(connection)), probe_(probe) {
    try {
        connection_->refresh();
    } catch (...) {
        pool_.giveBack(std::move(connection_), probe_);
        throw;
    }
}

PgPool::Lease::~Lease() {
    pool_.giveBack(std::move(connection_), probe_);
}

PgPool::Lease PgPool::lease() {
    OperationTimer timer(timing_);
    bool probe = false;
    auto connection = take(probe);
    return Lease(*this, std::move(timer), std::move(connection), probe);
}

// An idle connection, or a new one (opened on refresh) while fewer than
// `size_` exist.
std::unique_ptr<PgConnection> PgPool::take(bool& probe) {
    std::unique_lock lock(mutex_);
    if (silent_) {
        if (probing_ || std::chrono::steady_clock::now() < nextProbe_)
            throw StoreUnavailable("the database stopped answering; it is tried again shortly");
        probing_ = probe = true;
    }
    if (!returned_.wait_for(lock, kBusyWait, [this] { return !idle_.empty() || opened_ < size_; })) {
        if (probe) probing_ = false;
        throw StoreUnavailable("all " + std::to_string(size_) + " database connections stayed busy");
    }
    if (!idle_.empty()) {
        auto connection = std::move(idle_.back());
        idle_.pop_back();
        return connection;
    }
    ++opened_;
    return std::make_unique<PgConnection>(url_, PgConnection::Open::OnRefresh);
}

void PgPool::giveBack(std::unique_ptr<PgConnection> connection, bool probe) {
    {
        std::lock_guard lock(mutex_);
        if (probe) probing_ = false;
        if (connection->fellSilent()) {
            silent_ = true;
            nextProbe_ = std::chrono::steady_clock::now() + kProbePause;
        } else if (probe) {
            silent_ = false;
        }
        idle_.push_back(std::move(connection));
    }
    returned_.notify_one();
}

}  // namespace site
