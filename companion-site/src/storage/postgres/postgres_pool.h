#pragma once
// A small pool of PostgreSQL connections shared by the request threads.
// Each is opened when first needed and re-opened when it was lost, so a
// database that went away and came back is used again without a restart.
// Once the database lets a deadline pass it counts as silent: until it
// answers again, one caller at a time, after a pause, tries it while the
// others get StoreUnavailable at once, so a frozen host holds one worker,
// not all of them.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "observability/metrics.h"
#include "storage/postgres/postgres_handles.h"

namespace site {

class PgPool {
public:
    // Opens the first connection now, so a wrong address or a database that
    // is down is reported at start (StoreUnavailable).
    PgPool(std::string url, int size);

    class Lease {
    public:
        Lease(PgPool& pool, OperationTimer timer, std::unique_ptr<PgConnection> connection, bool probe);
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        ~Lease();
        PgConnection& operator*() { return *connection_; }
        PgConnection* operator->() { return connection_.get(); }

    private:
        PgPool& pool_;
        OperationTimer timer_;
        std::unique_ptr<PgConnection> connection_;
        const bool probe_;  // the one caller trying a silent database
    };

    // A usable connection for one store operation; StoreUnavailable when the
    // database cannot be reached or every connection stays busy too long.
    Lease lease();
    // Each later lease's seconds, the wait for a connection included.
    void timeLeases(Histogram& histogram) { timing_ = &histogram; }

private:
    const std::string url_;
    const int size_;
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<PgConnection>> idle_;
    int opened_ = 0;
    Histogram* timing_ = nullptr;
    bool silent_ = false;
    bool probing_ = false;
    std::chrono::steady_clock::time_point nextProbe_;

    std::unique_ptr<PgConnection> take(bool& probe);
    void giveBack(std::unique_ptr<PgConnection> connection, bool probe);
};

}  // namespace site
