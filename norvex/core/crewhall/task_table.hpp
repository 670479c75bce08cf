// The pool's table of task ids: each id's active status record and its job, each kept in its own insertion order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace norvex::crewhall {

// Keys are task ids, a dozen bytes or so, hashed once or twice per worker;
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
            if (key.size() >= 8) {
                std::memcpy(&tail, key.data() + key.size() - 8, 8);  // the last eight bytes, overlapping
            } else {
                for (std::size_t i = 0; i < n; ++i) tail |= std::uint64_t(static_cast<unsigned char>(p[i])) << (8 * i);
            }
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

// Two dictionaries over one set of keys: id -> active status and id -> job.
// Each iterates in its own first-insertion order, like a Python dict, and a
// new value under a key it holds keeps the key's place there. A value is
// present when it is not empty (Active and Job are pointers); an entry holds
// at least one and goes when remove() takes both.
//
// One entry per id, so a worker's life costs two index probes (adding it,
// removing it) where two tables cost five; and a job keeps a hint to its
// entry (valid while the entry is live under the same key, which is what a
// lookup would find anyway), so starting it needs no probe at all. With ten
// thousand workers queued each probe was a cache miss, the larger part of a
// no-op worker's cost.
//
// Entries never move: they are carved from chunks of 64 and recycled, and
// the chunks stay until the table goes, so a hint never dangles. The index
// is open-addressed (linear probing, at most 3/4 full) and holds a 32-bit
// tag of the key's hash beside the entry's number, eight bytes a slot: a
// probe reads one cache line of it, and an entry only on a tag match.
// Removal shifts the rest of a probe run back, so no tombstones build up.
template <typename Active, typename Job>
class TaskTable {
    enum Order : std::size_t { ACTIVE = 0, JOB = 1 };

public:
    class Entry {
    public:
        const std::string& key() const noexcept { return key_; }
        Active active{};  // empty when the id has no active record
        Job job{};        // empty when the id has no job

    private:
        friend class TaskTable;
        std::string key_;
        std::array<Entry*, 2> prev_{};
        std::array<Entry*, 2> next_{};
        Entry* free_next_ = nullptr;
        std::uint32_t number_ = 0;  // its place in the chunks
        std::uint32_t tag_ = 0;
        bool live_ = false;
    };

    // The entries of one order, oldest first.
    template <Order Which, bool Const>
    class View {
        using Ref = std::conditional_t<Const, const Entry&, Entry&>;

    public:
        class iterator {
        public:
            using iterator_category = std::forward_iterator_tag;
            using value_type = Entry;
            using difference_type = std::ptrdiff_t;
            using reference = Ref;
            using pointer = void;

            iterator() = default;
            explicit iterator(Entry* at) : at_(at) {}
            reference operator*() const { return *at_; }
            iterator& operator++() {
                at_ = at_->next_[Which];
                return *this;
            }
            iterator operator++(int) {
                iterator old = *this;
                ++*this;
                return old;
            }
            bool operator==(const iterator& other) const = default;

        private:
            Entry* at_ = nullptr;
        };

        explicit View(Entry* head) : head_(head) {}
        iterator begin() const { return iterator(head_); }
        iterator end() const { return iterator(); }

    private:
        Entry* head_;
    };

    TaskTable() = default;
    // The index, the orders and the callers' hints point into this table's entries.
    TaskTable(const TaskTable&) = delete;
    TaskTable& operator=(const TaskTable&) = delete;

    // The key's entry, or nullptr.
    Entry* find(const std::string& key) noexcept { return lookup(key, tag_of(key)); }
    const Entry* find(const std::string& key) const noexcept { return lookup(key, tag_of(key)); }
    // The same, trying `hint` (an entry this table gave out, or nullptr) first.
    Entry* find(const std::string& key, Entry* hint) noexcept {
        return trusted(key, hint) ? hint : find(key);
    }

    // Sets the key's active record (not empty), adding the key to the
    // active order unless it had one; adds the entry if the key is new.
    Entry& set_active(const std::string& key, Active value, Entry* hint = nullptr) {
        return set<ACTIVE>(key, std::move(value), hint);
    }
    // The same for the key's job.
    Entry& set_job(const std::string& key, Job value, Entry* hint = nullptr) {
        return set<JOB>(key, std::move(value), hint);
    }

    // Drops the entry from both orders and the table; gives its active record.
    Active remove(Entry& entry) noexcept {
        Active active = std::move(entry.active);
        unlink<ACTIVE>(entry);
        unlink<JOB>(entry);
        unindex(entry);
        release(entry);
        return active;
    }

    void clear() noexcept {
        for (std::uint32_t n = 0; n < made_; ++n) {
            Entry& entry = at(n);
            if (entry.live_) release(entry);
        }
        for (Slot& slot : slots_) slot = Slot{};
        for (std::size_t order : {ACTIVE, JOB}) {
            heads_[order] = tails_[order] = nullptr;
            counts_[order] = 0;
        }
        live_count_ = 0;
    }

    std::size_t active_count() const noexcept { return counts_[ACTIVE]; }
    std::size_t job_count() const noexcept { return counts_[JOB]; }
    View<ACTIVE, false> actives() noexcept { return View<ACTIVE, false>(heads_[ACTIVE]); }
    View<ACTIVE, true> actives() const noexcept { return View<ACTIVE, true>(heads_[ACTIVE]); }
    View<JOB, false> jobs() noexcept { return View<JOB, false>(heads_[JOB]); }
    View<JOB, true> jobs() const noexcept { return View<JOB, true>(heads_[JOB]); }

private:
    struct Slot {
        std::uint32_t tag = 0;
        std::uint32_t ref = 0;  // the entry's number + 1; 0: empty
    };
    static constexpr std::uint32_t CHUNK_BITS = 6;
    static constexpr std::uint32_t CHUNK_ENTRIES = 1u << CHUNK_BITS;
    static constexpr std::size_t FIRST_SLOTS = 16;

    static std::uint32_t tag_of(const std::string& key) noexcept {
        return static_cast<std::uint32_t>(ShortKeyHash{}(key) >> 32);
    }
    std::size_t mask() const noexcept { return slots_.size() - 1; }
    Entry& at(std::uint32_t number) const noexcept {
        return chunks_[number >> CHUNK_BITS][number & (CHUNK_ENTRIES - 1)];
    }

    Entry* lookup(const std::string& key, std::uint32_t tag) const noexcept {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = tag & mask();; i = (i + 1) & mask()) {
            const Slot slot = slots_[i];
            if (slot.ref == 0) return nullptr;
            if (slot.tag == tag) {
                Entry& entry = at(slot.ref - 1);
                if (entry.key_ == key) return &entry;
            }
        }
    }

    template <Order Which>
    static auto& value_of(Entry& entry) noexcept {
        if constexpr (Which == ACTIVE) return entry.active;
        else return entry.job;
    }

    static bool trusted(const std::string& key, const Entry* hint) noexcept {
        return hint != nullptr && hint->live_ && hint->key_ == key;
    }

    template <Order Which, typename V>
    Entry& set(const std::string& key, V value, Entry* hint) {
        Entry* entry = hint;
        if (!trusted(key, hint)) {
            const std::uint32_t tag = tag_of(key);
            entry = lookup(key, tag);
            if (entry == nullptr) entry = &add(key, tag);
        }
        V& held = value_of<Which>(*entry);
        const bool had = static_cast<bool>(held);
        held = std::move(value);
        if (!had) link<Which>(*entry);
        return *entry;
    }

    // A live entry for a new key, in the index but in neither order yet.
    Entry& add(const std::string& key, std::uint32_t tag) {
        // Everything that may fail comes before the table changes.
        if ((live_count_ + 1) * 4 > slots_.size() * 3) grow();
        if (free_ == nullptr && made_ % CHUNK_ENTRIES == 0) {
            if (made_ > UINT32_MAX - CHUNK_ENTRIES) throw std::length_error("the pool's task table is full");
            chunks_.reserve(chunks_.size() + 1);
            chunks_.push_back(std::make_unique<Entry[]>(CHUNK_ENTRIES));
        }
        Entry* entry = free_ != nullptr ? free_ : &at(made_);
        entry->key_ = key;  // the one step left that may throw, before the entry is taken
        if (entry == free_) free_ = entry->free_next_;
        else entry->number_ = made_++;
        entry->tag_ = tag;
        entry->live_ = true;
        place(entry->tag_, entry->number_);
        ++live_count_;
        return *entry;
    }

    void place(std::uint32_t tag, std::uint32_t number) noexcept {
        std::size_t i = tag & mask();
        while (slots_[i].ref != 0) i = (i + 1) & mask();
        slots_[i] = Slot{tag, number + 1};
    }

    void grow() {
        std::vector<Slot> old(slots_.empty() ? FIRST_SLOTS : slots_.size() * 2);
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.ref != 0) place(slot.tag, slot.ref - 1);
    }

    void unindex(const Entry& entry) noexcept {
        std::size_t gap = entry.tag_ & mask();
        while (slots_[gap].ref != entry.number_ + 1) gap = (gap + 1) & mask();
        for (std::size_t i = (gap + 1) & mask(); slots_[i].ref != 0; i = (i + 1) & mask()) {
            const std::size_t home = slots_[i].tag & mask();
            // The slot stays when its home lies cyclically in (gap, i].
            const bool stays = gap <= i ? (gap < home && home <= i) : (gap < home || home <= i);
            if (stays) continue;
            slots_[gap] = slots_[i];
            gap = i;
        }
        slots_[gap] = Slot{};
        --live_count_;
    }

    void release(Entry& entry) noexcept {
        entry.active = Active{};
        entry.job = Job{};
        entry.prev_ = {};
        entry.next_ = {};
        entry.live_ = false;
        entry.free_next_ = free_;
        free_ = &entry;
    }

    template <Order Which>
    void link(Entry& entry) noexcept {
        entry.prev_[Which] = tails_[Which];
        entry.next_[Which] = nullptr;
        if (tails_[Which] != nullptr) tails_[Which]->next_[Which] = &entry;
        else heads_[Which] = &entry;
        tails_[Which] = &entry;
        ++counts_[Which];
    }

    // Takes the entry out of the order if it is in it.
    template <Order Which>
    void unlink(Entry& entry) noexcept {
        Entry* prev = entry.prev_[Which];
        Entry* next = entry.next_[Which];
        if (prev == nullptr && heads_[Which] != &entry) return;  // not in this order
        if (prev != nullptr) prev->next_[Which] = next;
        else heads_[Which] = next;
        if (next != nullptr) next->prev_[Which] = prev;
        else tails_[Which] = prev;
        entry.prev_[Which] = entry.next_[Which] = nullptr;
        --counts_[Which];
    }

    std::vector<Slot> slots_;  // a power of two long, or empty
    std::size_t live_count_ = 0;
    std::array<Entry*, 2> heads_{};
    std::array<Entry*, 2> tails_{};
    std::array<std::size_t, 2> counts_{};
    std::vector<std::unique_ptr<Entry[]>> chunks_;
    std::uint32_t made_ = 0;  // entries carved so far
    Entry* free_ = nullptr;
};

}  // namespace norvex::crewhall
