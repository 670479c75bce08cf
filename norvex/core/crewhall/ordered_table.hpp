// An insertion-ordered table with constant-time erase, for the pool's active workers and jobs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace norvex::crewhall {

// Keys are task ids, a dozen bytes or so, hashed several times per worker;
// a word-at-a-time multiply-xorshift mix does that inline in a fraction of
// std::hash's out-of-line murmur.
struct ShortKeyHash {
    std::uint64_t operator()(const std::string& key) const noexcept {
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
        return h;
    }

private:
    static std::uint64_t mix(std::uint64_t x) noexcept {
        x *= 0xbf58476d1ce4e5b9ULL;
        x ^= x >> 31;
        x *= 0x94d049bb133111ebULL;
        return x ^ (x >> 29);
    }
};

// Iterates in first-insertion order, like a Python dict; assigning to an
// existing key keeps its position. The pool erases every worker it ever
// adds, usually from the front while thousands wait behind it, so erase
// must not shift or renumber the rest (norvex::OrderedMap does both).
//
// Entries live in nodes that never move, threaded in order by a doubly
// linked list; the nodes come from chunks of 64 and are recycled through a
// free list, as the pool adds and drops one per worker. They are found
// through an open-addressed index (linear probing, at most 3/4 full) of
// each key's hash beside its node: a lookup reads one line of the index
// and, on a hash match, the node, where a chained hash map walked from a
// neighbouring bucket's node through scattered ones. With ten thousand
// workers queued those were cache misses, the larger part of a no-op
// worker's cost.
template <typename V>
class OrderedTable {
    struct Node {
        Node(const std::string& k, V&& v, Node* p) : key(k), value(std::move(v)), prev(p) {}
        std::string key;
        V value;
        Node* prev;
        Node* next = nullptr;
    };
    struct Free {
        Free* next;
    };
    union Block {
        Block() {}
        ~Block() {}
        Node node;
        Free free;
    };
    struct Slot {
        std::uint64_t hash;
        Node* node;  // nullptr: empty
    };
    static_assert(alignof(Block) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__, "chunks carry operator new's alignment only");
    static constexpr std::size_t CHUNK_NODES = 64;
    static constexpr std::size_t FIRST_SLOTS = 16;

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
        explicit Iter(Node* at) : at_(at) {}
        reference operator*() const { return {at_->key, at_->value}; }
        Iter& operator++() {
            at_ = at_->next;
            return *this;
        }
        Iter operator++(int) {
            Iter old = *this;
            ++*this;
            return old;
        }
        bool operator==(const Iter& other) const = default;

    private:
        Node* at_ = nullptr;
    };
    using iterator = Iter<false>;
    using const_iterator = Iter<true>;

    OrderedTable() = default;
    // The index and the links point into this table's nodes.
    OrderedTable(const OrderedTable&) = delete;
    OrderedTable& operator=(const OrderedTable&) = delete;
    ~OrderedTable() {
        clear();
        for (Block* chunk : chunks_) ::operator delete(chunk);
    }

    V& assign(const std::string& key, V value) {
        const std::uint64_t hash = ShortKeyHash{}(key);
        if (Node* node = lookup(key, hash)) {
            node->value = std::move(value);
            return node->value;
        }
        // Grown first, so a failure to grow leaves the table as it was.
        if ((size_ + 1) * 4 > slots_.size() * 3) grow();
        void* block = take_block();
        Node* node;
        try {
            node = new (block) Node(key, std::move(value), tail_);
        } catch (...) {
            free_ = new (block) Free{free_};
            throw;
        }
        if (tail_ != nullptr) tail_->next = node;
        else head_ = node;
        tail_ = node;
        place(hash, node);
        ++size_;
        return node->value;
    }

    V* find(const std::string& key) {
        Node* node = lookup(key, ShortKeyHash{}(key));
        return node == nullptr ? nullptr : &node->value;
    }
    const V* find(const std::string& key) const {
        const Node* node = lookup(key, ShortKeyHash{}(key));
        return node == nullptr ? nullptr : &node->value;
    }

    bool erase(const std::string& key) {
        const std::size_t at = slot_of(key, ShortKeyHash{}(key));
        if (at == NONE) return false;
        remove(at);
        return true;
    }

    // Removes the key's entry and gives its value, in one lookup.
    std::optional<V> take(const std::string& key) {
        const std::size_t at = slot_of(key, ShortKeyHash{}(key));
        if (at == NONE) return std::nullopt;
        std::optional<V> value(std::move(slots_[at].node->value));
        remove(at);
        return value;
    }

    void clear() {
        for (Node* node = head_; node != nullptr;) {
            Node* next = node->next;
            give_block(node);
            node = next;
        }
        for (Slot& slot : slots_) slot.node = nullptr;
        head_ = tail_ = nullptr;
        size_ = 0;
    }

    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    iterator begin() { return iterator(head_); }
    iterator end() { return iterator(); }
    const_iterator begin() const { return const_iterator(head_); }
    const_iterator end() const { return const_iterator(); }

private:
    static constexpr std::size_t NONE = ~std::size_t{0};

    std::size_t mask() const noexcept { return slots_.size() - 1; }

    // The index slot holding the key, or NONE.
    std::size_t slot_of(const std::string& key, std::uint64_t hash) const noexcept {
        if (slots_.empty()) return NONE;
        for (std::size_t i = hash & mask();; i = (i + 1) & mask()) {
            const Slot& slot = slots_[i];
            if (slot.node == nullptr) return NONE;
            if (slot.hash == hash && slot.node->key == key) return i;
        }
    }
    Node* lookup(const std::string& key, std::uint64_t hash) const noexcept {
        const std::size_t at = slot_of(key, hash);
        return at == NONE ? nullptr : slots_[at].node;
    }

    void place(std::uint64_t hash, Node* node) noexcept {
        std::size_t i = hash & mask();
        while (slots_[i].node != nullptr) i = (i + 1) & mask();
        slots_[i] = Slot{hash, node};
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? FIRST_SLOTS : slots_.size() * 2, Slot{0, nullptr});
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.node != nullptr) place(slot.hash, slot.node);
    }

    // Empties slot `at` and unlinks and frees its node. The entries after
    // it in the same run move back over the gap when their home allows
    // (backward-shift deletion), so no tombstones build up.
    void remove(std::size_t at) noexcept {
        Node* node = slots_[at].node;
        if (node->prev != nullptr) node->prev->next = node->next;
        else head_ = node->next;
        if (node->next != nullptr) node->next->prev = node->prev;
        else tail_ = node->prev;
        give_block(node);
        --size_;

        std::size_t gap = at;
        for (std::size_t i = (gap + 1) & mask(); slots_[i].node != nullptr; i = (i + 1) & mask()) {
            const std::size_t home = slots_[i].hash & mask();
            // The entry stays when its home lies cyclically in (gap, i].
            const bool stays = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
            if (stays) continue;
            slots_[gap] = slots_[i];
            gap = i;
        }
        slots_[gap].node = nullptr;
    }

    void* take_block() {
        if (free_ != nullptr) {
            Free* block = free_;
            free_ = block->next;
            return block;
        }
        if (carved_ == CHUNK_NODES) {
            chunks_.reserve(chunks_.size() + 1);
            chunks_.push_back(static_cast<Block*>(::operator new(sizeof(Block) * CHUNK_NODES)));
            carved_ = 0;
        }
        return &chunks_.back()[carved_++];
    }
    void give_block(Node* node) noexcept {
        node->~Node();
        free_ = new (static_cast<void*>(node)) Free{free_};
    }

    std::vector<Slot> slots_;  // a power of two long, or empty
    std::size_t size_ = 0;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    std::vector<Block*> chunks_;
    std::size_t carved_ = CHUNK_NODES;
    Free* free_ = nullptr;
};

}  // namespace norvex::crewhall
