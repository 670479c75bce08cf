// The per-thread pool of big blocks for arenas and token stores.
#include "norvex/pyast/block_pool.hpp"

#include <new>

namespace norvex::pyast::block_pool {
namespace {

// A kept block starts with this header (blocks are far bigger than it).
struct Free {
    Free* next;
    std::size_t size;
};

struct Pool {
    Free* head = nullptr;
    std::size_t bytes = 0;
    ~Pool();
};

// Trivially destructible, so still readable while the thread's other
// objects are destroyed: a tree freed after the pool frees its blocks itself.
thread_local bool t_pool_gone = false;

Pool& pool() {
    thread_local Pool p;
    return p;
}

Pool::~Pool() {
    while (head != nullptr) {
        Free* next = head->next;
        ::operator delete(head);
        head = next;
    }
    bytes = 0;
    t_pool_gone = true;
}

}  // namespace

void* take(std::size_t& size) {
    if (size >= min_size && !t_pool_gone) {
        // The smallest kept block that fits, unless it would waste more than it holds.
        Pool& p = pool();
        Free** best = nullptr;
        for (Free** link = &p.head; *link != nullptr; link = &(*link)->next) {
            const std::size_t s = (*link)->size;
            if (s >= size && s <= 2 * size && (best == nullptr || s < (*best)->size)) best = link;
        }
        if (best != nullptr) {
            Free* f = *best;
            *best = f->next;
            p.bytes -= f->size;
            size = f->size;
            return f;
        }
    }
    return ::operator new(size);
}

void give(void* block, std::size_t size) noexcept {
    if (block == nullptr) return;
    if (size >= min_size && !t_pool_gone) {
        Pool& p = pool();
        if (p.bytes + size <= max_kept) {
            auto* f = static_cast<Free*>(block);
            f->next = p.head;
            f->size = size;
            p.head = f;
            p.bytes += size;
            return;
        }
    }
    ::operator delete(block);
}

void release() noexcept {
    if (t_pool_gone) return;
    Pool& p = pool();
    while (p.head != nullptr) {
        Free* next = p.head->next;
        ::operator delete(p.head);
        p.head = next;
    }
    p.bytes = 0;
}

std::size_t kept_bytes() noexcept { return t_pool_gone ? 0 : pool().bytes; }

}  // namespace norvex::pyast::block_pool
