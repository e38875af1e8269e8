#pragma once
// Limits on attempts, kept where the store keeps its data: in memory for
// the one SQLite process, in the database when several instances share
// PostgreSQL.

#include <cstdint>
#include <string>

namespace site {

// At most a number of attempts per key (a client address) in a window.
class AttemptLimiter {
public:
    virtual ~AttemptLimiter() = default;
    // Counts one attempt; false when the key has used up its window.
    virtual bool allow(const std::string& key, std::int64_t now) = 0;
    virtual void forgetExpired(std::int64_t now) = 0;
};

// Failed sign-ins per account name, whatever the addresses they come from.
class FailedSignIns {
public:
    virtual ~FailedSignIns() = default;
    // Checks and counts a try in one step, so tries sent at once cannot all
    // pass one check: the seconds before the name may try again (the try is
    // then not counted), or 0 when it may now, the try counting as a failure
    // until `succeeded` forgets the failures.
    virtual std::int64_t attempt(const std::string& name, std::int64_t now) = 0;
    virtual void succeeded(const std::string& name) = 0;
    virtual void forgetExpired(std::int64_t now) = 0;
};

}  // namespace site
