#pragma once
// Open connections counted in total and per client, so that neither one
// client nor a flood can take every connection the server has.

#include <mutex>
#include <string>
#include <unordered_map>

namespace site {

class ConnectionLimits {
public:
    ConnectionLimits(std::size_t total, std::size_t perClient) : total_(total), perClient_(perClient) {}

    // Counts a new connection of `client`; false, counting nothing, when a
    // cap is reached.
    bool admit(const std::string& client);
    void release(const std::string& client);
    std::size_t open();

private:
    const std::size_t total_;
    const std::size_t perClient_;
    std::mutex mutex_;
    std::size_t open_ = 0;
    std::unordered_map<std::string, std::size_t> perClientOpen_;
};

}  // namespace site
