// prepare_heap: a spacer block lifts the top of glibc's heap to a 2 MiB boundary, and the heap above it is madvised huge.
#include "norvex/workers/astprobe/heap_start.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#define NORVEX_HUGE_HEAP 1
#endif

namespace norvex::astprobe {

void prepare_heap() noexcept {
#ifdef NORVEX_HUGE_HEAP
    constexpr std::uintptr_t HUGE_PAGE = std::uintptr_t{2} << 20;
    constexpr std::uintptr_t CHUNK_HEADER = 2 * sizeof(std::size_t);
    // glibc's heap grows upwards from the program break, and malloc carves
    // new blocks from its top chunk, which ends at the break.
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t top = end - ::mallinfo2().keepcost;  // keepcost: the top chunk's size
    const std::uintptr_t boundary = (end + HUGE_PAGE) & ~(HUGE_PAGE - 1);
    if (end == static_cast<std::uintptr_t>(-1) || top >= end) return;

    // Blocks up to 4 MiB come from the heap (so the spacer does, and nothing
    // later is mapped and unmapped page by page), each extension of the heap
    // reserves a huge page more, and freed memory is never handed back, which
    // would split the huge page again.
    ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
    ::mallopt(M_TOP_PAD, static_cast<int>(HUGE_PAGE));
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);

    // The spacer fills the heap up to the boundary, so the next block's
    // header lies just below it and its memory at it. It is never freed:
    // its pages are never touched, and a free one would be carved first.
    const std::size_t spacer_chunk = boundary - CHUNK_HEADER - top;
    void* spacer = std::malloc(spacer_chunk - sizeof(std::size_t));
    const auto after_spacer = reinterpret_cast<std::uintptr_t>(spacer) - CHUNK_HEADER + spacer_chunk;
    const auto new_end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    if (spacer == nullptr || after_spacer != boundary - CHUNK_HEADER || new_end < boundary + HUGE_PAGE) {
        // Not the contiguous heap this relies on: leave it as it came.
        std::free(spacer);
        return;
    }
    ::madvise(reinterpret_cast<void*>(boundary), HUGE_PAGE, MADV_HUGEPAGE);
#endif
}

}  // namespace norvex::astprobe
