// The per-thread pool of big blocks: which blocks it keeps, which it hands out again, and trees that outlive it.
#include "norvex/pyast/block_pool.hpp"
#include "norvex/pyast/dump.hpp"
#include "norvex/pyast/parse.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace norvex::pyast {
namespace {

using block_pool::kept_bytes;
using block_pool::max_kept;
using block_pool::min_size;

TEST(block_pool, keeps_big_blocks_and_hands_them_out_for_a_close_fit) {
    block_pool::release();
    std::size_t size = 100 * 1024;
    void* a = block_pool::take(size);
    EXPECT_EQ(size, 100u * 1024);
    std::memset(a, 0x5A, size);
    block_pool::give(a, size);
    EXPECT_EQ(kept_bytes(), size);

    // Half of it would waste the rest: a fresh block instead.
    std::size_t half = 40 * 1024;
    void* b = block_pool::take(half);
    EXPECT_NE(b, a);
    EXPECT_EQ(half, 40u * 1024);
    block_pool::give(b, half);  // below the pool's minimum: freed, not kept
    EXPECT_EQ(kept_bytes(), 100u * 1024);

    // A request it covers gets the kept block and learns its real size.
    std::size_t want = 80 * 1024;
    void* c = block_pool::take(want);
    EXPECT_EQ(c, a);
    EXPECT_EQ(want, 100u * 1024);
    EXPECT_EQ(kept_bytes(), 0u);
    block_pool::give(c, want);
    block_pool::release();
    EXPECT_EQ(kept_bytes(), 0u);
}

TEST(block_pool, picks_the_smallest_fitting_block_and_stays_within_its_bound) {
    block_pool::release();
    std::vector<std::pair<void*, std::size_t>> blocks;
    for (std::size_t kib : {512, 128, 256}) {
        std::size_t size = kib * 1024;
        blocks.emplace_back(block_pool::take(size), size);
    }
    for (auto& [p, size] : blocks) block_pool::give(p, size);
    EXPECT_EQ(kept_bytes(), (512u + 128 + 256) * 1024);
    std::size_t want = 120 * 1024;
    EXPECT_EQ(block_pool::take(want), blocks[1].first);
    EXPECT_EQ(want, 128u * 1024);
    block_pool::give(blocks[1].first, want);

    // Past the bound, blocks go back to the heap.
    std::vector<std::pair<void*, std::size_t>> many;
    for (std::size_t total = 0; total <= 2 * max_kept; total += min_size * 4) {
        std::size_t size = min_size * 4;
        many.emplace_back(block_pool::take(size), size);
    }
    for (auto& [p, size] : many) block_pool::give(p, size);
    EXPECT_LE(kept_bytes(), max_kept);
    EXPECT_GE(kept_bytes(), max_kept - min_size * 4);
    block_pool::release();
    EXPECT_EQ(kept_bytes(), 0u);
}

// Code big enough for pooled arena blocks and token chunks.
std::string big_module(int functions, const std::string& tag) {
    std::string src;
    for (int i = 0; i < functions; ++i) {
        src += "def " + tag + std::to_string(i) + "(a, b=" + std::to_string(i) + "):\n";
        src += "    return [x * a + b for x in range(a) if x % 3 != 1], '" + tag + "'\n";
    }
    return src;
}

TEST(block_pool, trees_parsed_from_reused_blocks_are_whole) {
    const std::string first = big_module(3000, "f");
    const std::string second = big_module(2500, "g");
    block_pool::release();
    ParseResult cold = parse(second);
    ASSERT_TRUE(cold.tree);
    const std::string want = dump(cold.tree->root, {});
    cold.tree.reset();
    block_pool::release();

    ParseResult a = parse(first);
    ASSERT_TRUE(a.tree);
    const std::string a_dump = dump(a.tree->root, {});
    a.tree.reset();
    EXPECT_GT(kept_bytes(), 0u) << "the freed tree's blocks are kept";
    // The second tree lands in the first one's blocks; nothing of the first may show.
    ParseResult b = parse(second);
    ASSERT_TRUE(b.tree);
    EXPECT_EQ(dump(b.tree->root, {}), want);
    b.tree.reset();
    ParseResult again = parse(first);
    ASSERT_TRUE(again.tree);
    EXPECT_EQ(dump(again.tree->root, {}), a_dump);
    block_pool::release();
}

TEST(block_pool, a_tree_may_die_on_another_thread_or_after_its_thread) {
    const std::string src = big_module(2000, "h");
    ParseResult kept;
    std::string want;
    std::thread t([&] {
        kept = parse(src);
        ASSERT_TRUE(kept.tree);
        want = dump(kept.tree->root, {});
        ParseResult scratch = parse(src);  // freed here: into this thread's pool, which dies with the thread
    });
    t.join();
    ASSERT_TRUE(kept.tree);
    EXPECT_EQ(dump(kept.tree->root, {}), want);
    block_pool::release();
    kept.tree.reset();  // into this thread's pool
    EXPECT_GT(kept_bytes(), 0u);
    block_pool::release();
}

}  // namespace
}  // namespace norvex::pyast
