// A map that iterates in first-insertion order, like a Python dict.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

namespace norvex {

// Assigning to an existing key replaces the value and keeps the key's first
// position; erase() closes the gap (linear, meant for small tables).
template <typename K, typename V, typename Hash = std::hash<K>>
class OrderedMap {
public:
    using value_type = std::pair<K, V>;
    using iterator = typename std::vector<value_type>::iterator;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    V& assign(const K& key, V value) {
        auto [it, inserted] = index_.try_emplace(key, entries_.size());
        if (inserted) {
            entries_.emplace_back(key, std::move(value));
            return entries_.back().second;
        }
        entries_[it->second].second = std::move(value);
        return entries_[it->second].second;
    }

    V* find(const K& key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }
    const V* find(const K& key) const {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &entries_[it->second].second;
    }
    bool contains(const K& key) const { return index_.count(key) != 0; }

    bool erase(const K& key) {
        auto it = index_.find(key);
        if (it == index_.end()) return false;
        std::size_t pos = it->second;
        index_.erase(it);
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(pos));
        for (std::size_t i = pos; i < entries_.size(); ++i) index_[entries_[i].first] = i;
        return true;
    }

    void clear() {
        entries_.clear();
        index_.clear();
    }

    std::size_t size() const noexcept { return entries_.size(); }
    bool empty() const noexcept { return entries_.empty(); }
    iterator begin() { return entries_.begin(); }
    iterator end() { return entries_.end(); }
    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }

private:
    std::vector<value_type> entries_;
    std::unordered_map<K, std::size_t, Hash> index_;
};

}  // namespace norvex
