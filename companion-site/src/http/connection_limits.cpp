#include "http/connection_limits.h"

namespace site {

bool ConnectionLimits::admit(const std::string& client) {
    std::lock_guard lock(mutex_);
    if (open_ >= total_) return false;
    std::size_t& mine = perClientOpen_[client];
    if (mine >= perClient_) return false;
    ++mine;
    ++open_;
    return true;
}

void ConnectionLimits::release(const std::string& client) {
    std::lock_guard lock(mutex_);
    --open_;
    const auto found = perClientOpen_.find(client);
    if (--found->second == 0) perClientOpen_.erase(found);
}

std::size_t ConnectionLimits::open() {
    std::lock_guard lock(mutex_);
    return open_;
}

}  // namespace site
