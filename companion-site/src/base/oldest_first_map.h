#pragma once
// A table of at most `capacity` keys for the limiters. When it is full, a
// new key pushes out the entry renewed longest ago, so whoever fills the
// table only pushes out their own old entries, never locks others out.

#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace site {

template <typename Value>
class OldestFirstMap {
public:
    explicit OldestFirstMap(std::size_t capacity) : capacity_(capacity) {}

    Value* find(const std::string& key) {
        const auto found = index_.find(key);
        return found == index_.end() ? nullptr : &found->second->second;
    }

    // Sets the entry of `key` and makes it the newest.
    Value& renew(const std::string& key, Value value) {
        if (const auto found = index_.find(key); found != index_.end()) {
            order_.splice(order_.end(), order_, found->second);
            return found->second->second = std::move(value);
        }
        if (index_.size() >= capacity_) {
            index_.erase(order_.front().first);
            order_.pop_front();
        }
        order_.emplace_back(key, std::move(value));
        index_.emplace(key, std::prev(order_.end()));
        return order_.back().second;
    }

    void erase(const std::string& key) {
        if (const auto found = index_.find(key); found != index_.end()) {
            order_.erase(found->second);
            index_.erase(found);
        }
    }

    template <typename Predicate>
    void eraseIf(Predicate expired) {
        for (auto entry = order_.begin(); entry != order_.end();) {
            if (expired(entry->second)) {
                index_.erase(entry->first);
                entry = order_.erase(entry);
            } else {
                ++entry;
            }
        }
    }

private:
    using Entries = std::list<std::pair<std::string, Value>>;
    std::size_t capacity_;
    Entries order_;  // oldest first
    std::unordered_map<std::string, typename Entries::iterator> index_;
};

}  // namespace site
