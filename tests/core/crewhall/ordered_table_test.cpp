// The pool's insertion-ordered table: order kept through reassignment and erasure anywhere.
#include "norvex/core/crewhall/ordered_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using norvex::crewhall::OrderedTable;
using Entries = std::vector<std::pair<std::string, int>>;

Entries entries(const OrderedTable<std::shared_ptr<int>>& table) {
    Entries out;
    for (const auto& e : table) out.emplace_back(e.first, *e.second);
    return out;
}

TEST(OrderedTable, KeepsFirstInsertionOrderThroughReassignAndErase) {
    OrderedTable<std::shared_ptr<int>> t;
    for (int i = 0; i < 5; ++i) t.assign("k" + std::to_string(i), std::make_shared<int>(i));
    // A new value under a known key keeps the key's place.
    t.assign("k2", std::make_shared<int>(42));
    EXPECT_EQ(**t.find("k2"), 42);
    // Erasing the head, the tail and one in the middle leaves the rest in order.
    EXPECT_TRUE(t.erase("k0"));
    EXPECT_TRUE(t.erase("k4"));
    EXPECT_TRUE(t.erase("k3"));
    EXPECT_FALSE(t.erase("k3"));
    EXPECT_FALSE(t.erase("never"));
    EXPECT_EQ(entries(t), (Entries{{"k1", 1}, {"k2", 42}}));
    // A later key goes to the end, also after the old tail was erased.
    t.assign("k9", std::make_shared<int>(9));
    EXPECT_EQ(entries(t), (Entries{{"k1", 1}, {"k2", 42}, {"k9", 9}}));
    EXPECT_EQ(t.size(), 3u);
}

TEST(OrderedTable, EmptiedAndClearedTablesStartAfresh) {
    OrderedTable<std::shared_ptr<int>> t;
    t.assign("a", std::make_shared<int>(1));
    EXPECT_TRUE(t.erase("a"));
    EXPECT_TRUE(t.empty());
    EXPECT_TRUE(t.begin() == t.end());
    t.assign("b", std::make_shared<int>(2));
    t.assign("c", std::make_shared<int>(3));
    EXPECT_EQ(entries(t), (Entries{{"b", 2}, {"c", 3}}));
    t.clear();
    EXPECT_EQ(t.find("b"), nullptr);
    t.assign("d", std::make_shared<int>(4));
    EXPECT_EQ(entries(t), (Entries{{"d", 4}}));
}

TEST(OrderedTable, TakeGivesTheValueAndFreesTheKey) {
    OrderedTable<std::shared_ptr<int>> t;
    t.assign("a", std::make_shared<int>(1));
    t.assign("b", std::make_shared<int>(2));
    auto taken = t.take("a");
    ASSERT_TRUE(taken);
    EXPECT_EQ(**taken, 1);
    EXPECT_EQ(taken->use_count(), 1);  // moved out, not copied
    EXPECT_FALSE(t.take("a"));
    EXPECT_EQ(t.find("a"), nullptr);
    t.assign("a", std::make_shared<int>(3));
    EXPECT_EQ(entries(t), (Entries{{"b", 2}, {"a", 3}}));
}

TEST(OrderedTable, ChurnMatchesAPlainListOfEntries) {
    // Entries come and go in random order, as the pool's workers do, so
    // the recycled node memory is reused many times over; the table must
    // keep matching a naive ordered list and free every value it held.
    // Twelve keys keep a small index three quarters full; under a few
    // dozen prefixes some probe runs wrap past its end.
    for (int round = 0; round < 40; ++round) {
        const unsigned keys = round == 0 ? 300 : 12;
        const std::string prefix = "r" + std::to_string(round) + "k";
        SCOPED_TRACE(prefix);
        OrderedTable<std::shared_ptr<int>> t;
        Entries expected;
        int live = 0;  // values not yet freed
        auto counted = [&live](int value) {
            ++live;
            return std::shared_ptr<int>(new int(value), [&live](int* p) {
                --live;
                delete p;
            });
        };
        std::mt19937 rng(7);
        for (int step = 0; step < (round == 0 ? 20000 : 2000); ++step) {
            const std::string key = prefix + std::to_string(rng() % keys);
            auto at = std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return e.first == key; });
            switch (rng() % 3) {
                case 0:
                case 1: {
                    const int value = step;
                    t.assign(key, counted(value));
                    if (at != expected.end()) at->second = value;
                    else expected.emplace_back(key, value);
                    break;
                }
                default: {
                    auto taken = t.take(key);
                    ASSERT_EQ(taken.has_value(), at != expected.end()) << key;
                    if (taken) {
                        EXPECT_EQ(**taken, at->second);
                        expected.erase(at);
                    }
                }
            }
            if (step % 1000 == 0) {
                ASSERT_EQ(entries(t), expected) << "after step " << step;
                ASSERT_EQ(live, static_cast<int>(expected.size()));
            }
        }
        EXPECT_EQ(entries(t), expected);
        EXPECT_EQ(t.size(), expected.size());
        t.clear();
        EXPECT_TRUE(t.empty());
        EXPECT_EQ(live, 0);
    }
}

TEST(OrderedTable, LookupsHoldThroughGrowthAndGapsLeftByErasure) {
    // Thousands of keys grow the index several times over while entries
    // sit in it; erasing every third one then leaves gaps in the middle of
    // probe runs, which must neither hide the keys behind them nor let an
    // erased key be found.
    OrderedTable<std::shared_ptr<int>> t;
    constexpr int N = 5000;
    for (int i = 0; i < N; ++i) t.assign("task-" + std::to_string(i), std::make_shared<int>(i));
    for (int i = 0; i < N; i += 3) ASSERT_TRUE(t.erase("task-" + std::to_string(i))) << i;
    for (int i = 0; i < N; ++i) {
        const auto* found = t.find("task-" + std::to_string(i));
        if (i % 3 == 0) {
            EXPECT_EQ(found, nullptr) << i;
        } else {
            ASSERT_NE(found, nullptr) << i;
            EXPECT_EQ(**found, i);
        }
    }
    // Put back, the erased keys go to the end, after every key kept.
    for (int i = 0; i < N; i += 3) t.assign("task-" + std::to_string(i), std::make_shared<int>(-i));
    EXPECT_EQ(t.size(), static_cast<std::size_t>(N));
    int position = 0;
    int last_kept = -1;
    for (const auto& e : t) {
        const int value = *e.second;
        if (position < N - (N + 2) / 3) {
            EXPECT_GT(value, last_kept) << "kept keys out of order at " << position;
            EXPECT_NE(value % 3, 0);
            last_kept = value;
        } else {
            EXPECT_LE(value, 0) << "a put-back key before a kept one at " << position;
        }
        ++position;
    }
    EXPECT_EQ(position, N);
}

}  // namespace
