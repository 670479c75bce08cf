// An insertion-ordered table with constant-time erase, for the pool's active workers and jobs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace norvex::crewhall {

// Memory for a table's entries, carved from chunks and recycled through a
// free list: the pool adds and drops an entry per worker, thousands at a
// time, and malloc/free of each node was a tenth of its cost. Blocks of one
// size (the first single-object block freed or taken sets it) are kept;
// anything else, the bucket arrays above all, goes to operator new. The
// chunks are given back when the store goes, so it must outlive the map.
class NodeStore {
public:
    NodeStore() = default;
    NodeStore(const NodeStore&) = delete;
    NodeStore& operator=(const NodeStore&) = delete;
    ~NodeStore() {
        for (void* chunk : chunks_) ::operator delete(chunk);
    }

    void* take(std::size_t size) {
        if (size_ == 0) size_ = size;
        if (size != size_) return ::operator new(size);
        if (free_ != nullptr) {
            Free* block = free_;
            free_ = block->next;
            return block;
        }
        if (carved_ == CHUNK_BLOCKS) {
            chunks_.push_back(::operator new(size_ * CHUNK_BLOCKS));
            carved_ = 0;
        }
        return static_cast<char*>(chunks_.back()) + size_ * carved_++;
    }

    void give(void* block, std::size_t size) noexcept {
        if (size != size_) {
            ::operator delete(block);
            return;
        }
        free_ = new (block) Free{free_};
    }

private:
    struct Free {
        Free* next;
    };
    static constexpr std::size_t CHUNK_BLOCKS = 64;

    std::size_t size_ = 0;
    Free* free_ = nullptr;
    std::vector<void*> chunks_;
    std::size_t carved_ = CHUNK_BLOCKS;
};

// Keys are task ids, a dozen bytes or so, hashed several times per worker;
// a word-at-a-time multiply-xorshift mix does that inline in a fraction of
// std::hash's out-of-line murmur.
struct ShortKeyHash {
    // Not noexcept on purpose: libstdc++ then keeps each node's hash, so a
    // rehash or a walk along a bucket never hashes a key again.
    std::size_t operator()(const std::string& key) const {
        const char* p = key.data();
        std::size_t n = key.size();
        std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ n;
        for (; n >= 8; p += 8, n -= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            h = mix(h ^ word);
        }
        if (n > 0) {
            std::uint64_t tail = 0;
            for (std::size_t i = 0; i < n; ++i) tail |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
            h = mix(h ^ tail);
        }
        return static_cast<std::size_t>(h);
    }

private:
    static std::uint64_t mix(std::uint64_t x) noexcept {
        x *= 0xbf58476d1ce4e5b9ULL;
        x ^= x >> 31;
        x *= 0x94d049bb133111ebULL;
        return x ^ (x >> 29);
    }
};

// The map's allocator: single nodes from the table's NodeStore.
template <typename T>
class StoredAllocator {
public:
    using value_type = T;

    explicit StoredAllocator(NodeStore& store) noexcept : store_(&store) {}
    template <typename U>
    StoredAllocator(const StoredAllocator<U>& other) noexcept : store_(other.store()) {}  // NOLINT: rebinding

    T* allocate(std::size_t n) {
        static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "blocks carry operator new's alignment only");
        if (n == 1 && sizeof(T) >= sizeof(void*)) return static_cast<T*>(store_->take(sizeof(T)));
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        if (n == 1 && sizeof(T) >= sizeof(void*)) store_->give(p, sizeof(T));
        else ::operator delete(p);
    }

    NodeStore* store() const noexcept { return store_; }
    template <typename U>
    bool operator==(const StoredAllocator<U>& other) const noexcept {
        return store_ == other.store();
    }

private:
    NodeStore* store_;
};

// Iterates in first-insertion order, like a Python dict; assigning to an
// existing key keeps its position. The pool erases every worker it ever
// adds, usually from the front while thousands wait behind it, so erase
// must not shift or renumber the rest (norvex::OrderedMap does both). The
// order is a doubly linked list threaded through the hash map's own nodes
// (which never move), so an entry costs one block of the table's own store
// and one copy of its key.
template <typename V>
class OrderedTable {
    struct Slot;
    using Map = std::unordered_map<std::string, Slot, ShortKeyHash, std::equal_to<std::string>,
                                   StoredAllocator<std::pair<const std::string, Slot>>>;
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

    OrderedTable() : map_(typename Map::allocator_type(store_)) {}
    // The links point into the map's nodes; a copy would point into another table's.
    OrderedTable(const OrderedTable&) = delete;
    OrderedTable& operator=(const OrderedTable&) = delete;

    V& assign(const std::string& key, V value) {
        // One lookup: the key is hashed once whether it is new or known.
        auto [it, added] = map_.try_emplace(key);
        Entry* entry = &*it;
        entry->second.value = std::move(value);
        if (added) {
            entry->second.prev = tail_;
            if (tail_ != nullptr) tail_->second.next = entry;
            else head_ = entry;
            tail_ = entry;
        }
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
        unlink_and_erase(it);
        return true;
    }

    // Removes the key's entry and gives its value, in one lookup.
    std::optional<V> take(const std::string& key) {
        auto it = map_.find(key);
        if (it == map_.end()) return std::nullopt;
        std::optional<V> value(std::move(it->second.value));
        unlink_and_erase(it);
        return value;
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
    void unlink_and_erase(typename Map::iterator it) {
        Slot& slot = it->second;
        if (slot.prev != nullptr) slot.prev->second.next = slot.next;
        else head_ = slot.next;
        if (slot.next != nullptr) slot.next->second.prev = slot.prev;
        else tail_ = slot.prev;
        map_.erase(it);
    }

    NodeStore store_;  // before the map: it must outlive the map's nodes
    Map map_;
    Entry* head_ = nullptr;
    Entry* tail_ = nullptr;
};

}  // namespace norvex::crewhall
