// The pool's insertion-ordered table: order kept through reassignment and erasure anywhere.
#include "norvex/core/crewhall/ordered_table.hpp"

#include <gtest/gtest.h>

#include <memory>
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

}  // namespace
