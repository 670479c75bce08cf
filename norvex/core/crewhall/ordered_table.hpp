// An insertion-ordered table with constant-time erase, for the pool's active workers and jobs.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <unordered_map>
#include <utility>

namespace norvex::crewhall {

// Iterates in first-insertion order, like a Python dict; assigning to an
// existing key keeps its position. The pool erases every worker it ever
// adds, usually from the front while thousands wait behind it, so erase
// must not shift or renumber the rest (norvex::OrderedMap does both). The
// order is a doubly linked list threaded through the hash map's own nodes
// (which never move), so an entry costs one allocation and one copy of its key.
template <typename V>
class OrderedTable {
    struct Slot;
    using Map = std::unordered_map<std::string, Slot>;
    using Entry = typename Map::value_type;  // std::pair<const std::string, Slot>

    struct Slot {
        V value;
        Entry* prev = nullptr;
        Entry* next = nullptr;
    };

public:
    // What iteration yields: entry.first is the key, entry.second the value.
    template <bool Const>
    struct Ref {
        const std::string& first;
        std::conditional_t<Const, const V&, V&> second;
    };

    template <bool Const>
    class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Ref<Const>;
        using difference_type = std::ptrdiff_t;
        using reference = Ref<Const>;
        using pointer = void;

        Iter() = default;
        explicit Iter(Entry* at) : at_(at) {}
        reference operator*() const { return {at_->first, at_->second.value}; }
        Iter& operator++() {
            at_ = at_->second.next;
            return *this;
        }
        Iter operator++(int) {
            Iter old = *this;
            ++*this;
            return old;
        }
        bool operator==(const Iter& other) const = default;

    private:
        Entry* at_ = nullptr;
    };
    using iterator = Iter<false>;
    using const_iterator = Iter<true>;

    OrderedTable() = default;
    // The links point into the map's nodes; a copy would point into another table's.
    OrderedTable(const OrderedTable&) = delete;
    OrderedTable& operator=(const OrderedTable&) = delete;

    V& assign(const std::string& key, V value) {
        if (auto found = map_.find(key); found != map_.end()) {
            found->second.value = std::move(value);
            return found->second.value;
        }
        Entry* entry = &*map_.try_emplace(key, Slot{std::move(value)}).first;
        entry->second.prev = tail_;
        if (tail_ != nullptr) tail_->second.next = entry;
        else head_ = entry;
        tail_ = entry;
        return entry->second.value;
    }

    V* find(const std::string& key) {
        auto it = map_.find(key);
        return it == map_.end() ? nullptr : &it->second.value;
    }
    const V* find(const std::string& key) const {
        auto it = map_.find(key);
        return it == map_.end() ? nullptr : &it->second.value;
    }

    bool erase(const std::string& key) {
        auto it = map_.find(key);
        if (it == map_.end()) return false;
        Slot& slot = it->second;
        if (slot.prev != nullptr) slot.prev->second.next = slot.next;
        else head_ = slot.next;
        if (slot.next != nullptr) slot.next->second.prev = slot.prev;
        else tail_ = slot.prev;
        map_.erase(it);
        return true;
    }

    void clear() {
        map_.clear();
        head_ = tail_ = nullptr;
    }

    std::size_t size() const noexcept { return map_.size(); }
    bool empty() const noexcept { return map_.empty(); }
    iterator begin() { return iterator(head_); }
    iterator end() { return iterator(); }
    const_iterator begin() const { return const_iterator(head_); }
    const_iterator end() const { return const_iterator(); }

private:
    Map map_;
    Entry* head_ = nullptr;
    Entry* tail_ = nullptr;
};

}  // namespace norvex::crewhall
