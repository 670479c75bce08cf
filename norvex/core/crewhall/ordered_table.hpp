// An insertion-ordered table with constant-time erase, for the pool's active workers and jobs.
#pragma once

#include <cstddef>
#include <iterator>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>

namespace norvex::crewhall {

// Iterates in first-insertion order, like a Python dict; assigning to an
// existing key keeps its position. The pool erases every worker it ever
// adds, usually from the front while thousands wait behind it, so erase
// must not shift or renumber the rest (norvex::OrderedMap does both).
template <typename V>
class OrderedTable {
public:
    using value_type = std::pair<std::string, V>;
    using iterator = typename std::list<value_type>::iterator;
    using const_iterator = typename std::list<value_type>::const_iterator;

    V& assign(const std::string& key, V value) {
        if (auto it = index_.find(key); it != index_.end()) {
            it->second->second = std::move(value);
            return it->second->second;
        }
        entries_.emplace_back(key, std::move(value));
        index_.emplace(key, std::prev(entries_.end()));
        return entries_.back().second;
    }

    V* find(const std::string& key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->second;
    }
    const V* find(const std::string& key) const {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->second;
    }

    bool erase(const std::string& key) {
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        entries_.erase(it->second);
        index_.erase(it);
        return true;
    }

    void clear() {
        index_.clear();
        entries_.clear();
    }

    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

private:
    std::list<value_type> entries_;
    std::unordered_map<std::string, iterator> index_;
};

}  // namespace norvex::crewhall
