// A map that iterates in first-insertion order, like a Python dict.
#pragma once

#include <cstddef>
#include <list>
#include <optional>
#include <unordered_map>
#include <utility>

namespace norvex {

// Assigning to an existing key replaces the value and keeps the key's first
// position. The entries form a list reached through a hash index, so erase()
// costs the same wherever the key sits (a pool drops its oldest entry far
// more often than any other) and a value stays where it is until its key
// is erased.
template <typename K, typename V, typename Hash = std::hash<K>>
class OrderedMap {
public:
    using value_type = std::pair<K, V>;
    using iterator = typename std::list<value_type>::iterator;
    using const_iterator = typename std::list<value_type>::const_iterator;

    V& assign(const K& key, V value) {
        auto [at, inserted] = index_.try_emplace(key);
        if (!inserted) {
            at->second->second = std::move(value);
            return at->second->second;
        }
        try {
            at->second = entries_.emplace(entries_.end(), key, std::move(value));
        } catch (...) {
            index_.erase(at);
            throw;
        }
        return at->second->second;
    }

    V* find(const K& key) {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->second;
    }
    const V* find(const K& key) const {
        auto it = index_.find(key);
        return it == index_.end() ? nullptr : &it->second->second;
    }
    bool contains(const K& key) const { return index_.count(key) != 0; }

    bool erase(const K& key) { return take(key).has_value(); }

    // Erases the key and gives its value; nothing when the key is absent.
    std::optional<V> take(const K& key) {
        auto node = index_.extract(key);  // one walk of the key's bucket, where find-then-erase takes two
        if (node.empty()) return std::nullopt;
        std::optional<V> value(std::move(node.mapped()->second));
        entries_.erase(node.mapped());
        return value;
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
    std::unordered_map<K, iterator, Hash> index_;
};

}  // namespace norvex
