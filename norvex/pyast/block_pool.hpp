// Big memory blocks that finished parses hand back, kept per thread for the next parse.
//
// A parse takes its arena blocks and token chunks fresh from the heap, and
// when a big tree goes away the C library returns that memory to the system,
// so the next big parse pays a page fault for every page it touches again.
// Blocks of at least `min_size` bytes therefore go to this pool instead (up
// to `max_kept` bytes per thread) and the next parse on the thread reuses
// them. Smaller blocks go straight to the heap, which recycles them well.
#pragma once

#include <cstddef>

namespace norvex::pyast::block_pool {

inline constexpr std::size_t min_size = 64 * 1024;
inline constexpr std::size_t max_kept = 8 * 1024 * 1024;

// A block of at least `size` bytes (and at most about twice that), from the
// pool or the heap; `size` becomes the block's real size. Release it with give().
void* take(std::size_t& size);
// Hands back a block from take() (or from ::operator new) of `size` bytes:
// kept when the pool has room for it, freed otherwise.
void give(void* block, std::size_t size) noexcept;
// Frees every block this thread's pool keeps.
void release() noexcept;
// Bytes this thread's pool keeps.
std::size_t kept_bytes() noexcept;

}  // namespace norvex::pyast::block_pool
