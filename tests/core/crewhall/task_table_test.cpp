// The pool's task table: two insertion orders over one set of ids, kept through reassignment, removal and reuse.
#include "norvex/core/crewhall/task_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Table = norvex::crewhall::TaskTable<std::shared_ptr<int>, std::shared_ptr<int>>;
using Entries = std::vector<std::pair<std::string, int>>;

Entries actives(const Table& table) {
    Entries out;
    for (const auto& e : table.actives()) out.emplace_back(e.key(), *e.active);
    return out;
}

Entries jobs(const Table& table) {
    Entries out;
    for (const auto& e : table.jobs()) out.emplace_back(e.key(), *e.job);
    return out;
}

std::shared_ptr<int> value(int v) { return std::make_shared<int>(v); }

TEST(TaskTable, EachOrderKeepsFirstInsertionThroughReassignmentAndRemoval) {
    Table t;
    for (int i = 0; i < 5; ++i) t.set_active("k" + std::to_string(i), value(i));
    // Jobs arrive in another order; a key's job joins the job order when set.
    t.set_job("k3", value(30));
    t.set_job("k1", value(10));
    // A new value under a held key keeps the key's place in that order.
    t.set_active("k2", value(42));
    t.set_job("k3", value(33));
    EXPECT_EQ(actives(t), (Entries{{"k0", 0}, {"k1", 1}, {"k2", 42}, {"k3", 3}, {"k4", 4}}));
    EXPECT_EQ(jobs(t), (Entries{{"k3", 33}, {"k1", 10}}));

    // Removing the head, the tail and one in the middle of either order.
    EXPECT_EQ(*t.remove(*t.find("k0")), 0);
    EXPECT_EQ(*t.remove(*t.find("k4")), 4);
    EXPECT_EQ(*t.remove(*t.find("k3")), 3);
    EXPECT_EQ(t.find("k3"), nullptr);
    EXPECT_EQ(actives(t), (Entries{{"k1", 1}, {"k2", 42}}));
    EXPECT_EQ(jobs(t), (Entries{{"k1", 10}}));
    EXPECT_EQ(t.active_count(), 2u);
    EXPECT_EQ(t.job_count(), 1u);

    // A key with only a job: it has no place in the active order, and its
    // removal gives no active record.
    t.set_job("only-job", value(7));
    EXPECT_EQ(actives(t), (Entries{{"k1", 1}, {"k2", 42}}));
    EXPECT_EQ(t.remove(*t.find("only-job")), nullptr);
    // A removed key comes back at the end.
    t.set_active("k0", value(100));
    EXPECT_EQ(actives(t), (Entries{{"k1", 1}, {"k2", 42}, {"k0", 100}}));

    t.clear();
    EXPECT_EQ(t.find("k1"), nullptr);
    EXPECT_TRUE(actives(t).empty());
    EXPECT_TRUE(jobs(t).empty());
    t.set_job("d", value(4));
    EXPECT_EQ(jobs(t), (Entries{{"d", 4}}));
}

TEST(TaskTable, AHintIsTrustedOnlyWhileItsEntryLivesUnderTheKey) {
    Table t;
    Table::Entry* a = &t.set_active("a", value(1));
    EXPECT_EQ(t.find("a", a), a);
    EXPECT_EQ(t.find("b", a), nullptr);  // a live entry, but another key's
    EXPECT_EQ(&t.set_job("a", value(2), a), a);

    t.remove(*a);
    EXPECT_EQ(t.find("a", a), nullptr);  // its entry was freed
    // The freed entry is reused for the next key; the old hint must not
    // find it under the old key, nor hide the old key's new entry.
    Table::Entry* b = &t.set_active("b", value(3));
    EXPECT_EQ(b, a);
    EXPECT_EQ(t.find("a", a), nullptr);
    Table::Entry* a_again = &t.set_active("a", value(4), a);
    EXPECT_NE(a_again, a);
    EXPECT_EQ(t.find("a", a), a_again);
    EXPECT_EQ(*t.find("a", a)->active, 4);
    EXPECT_EQ(*b->active, 3);
}

TEST(TaskTable, ChurnMatchesTwoPlainListsOfEntries) {
    // Keys come and go in random order, as the pool's workers do, through
    // hints both fresh and stale, so entries and index slots are reused
    // many times over; the table must keep matching two naive ordered
    // lists and free every value it held. Twelve keys keep a small index
    // three quarters full; under a few dozen prefixes some probe runs wrap
    // past its end.
    for (int round = 0; round < 40; ++round) {
        const unsigned keys = round == 0 ? 300 : 12;
        const std::string prefix = "r" + std::to_string(round) + "k";
        SCOPED_TRACE(prefix);
        Table t;
        Entries want_active;
        Entries want_jobs;
        std::map<std::string, Table::Entry*> hints;  // what the table last gave out per key
        int live = 0;                                // values not yet freed
        auto counted = [&live](int v) {
            ++live;
            return std::shared_ptr<int>(new int(v), [&live](int* p) {
                --live;
                delete p;
            });
        };
        auto in = [](Entries& list, const std::string& key) {
            return std::find_if(list.begin(), list.end(), [&](const auto& e) { return e.first == key; });
        };
        auto put = [&](Entries& list, const std::string& key, int v) {
            if (auto at = in(list, key); at != list.end()) at->second = v;
            else list.emplace_back(key, v);
        };
        std::mt19937 rng(7);
        const int steps = round == 0 ? 20000 : 2000;
        for (int step = 0; step < steps; ++step) {
            const std::string key = prefix + std::to_string(rng() % keys);
            Table::Entry* hint = hints.count(key) != 0 && rng() % 2 == 0 ? hints[key] : nullptr;
            switch (rng() % 5) {
                case 0:
                case 1:
                    hints[key] = &t.set_active(key, counted(step), hint);
                    put(want_active, key, step);
                    break;
                case 2:
                    hints[key] = &t.set_job(key, counted(-step), hint);
                    put(want_jobs, key, -step);
                    break;
                default: {
                    Table::Entry* entry = t.find(key, hint);
                    auto active = in(want_active, key);
                    auto job = in(want_jobs, key);
                    ASSERT_EQ(entry != nullptr, active != want_active.end() || job != want_jobs.end()) << key;
                    if (entry == nullptr) break;
                    auto removed = t.remove(*entry);
                    if (active != want_active.end()) {
                        ASSERT_TRUE(removed);
                        EXPECT_EQ(*removed, active->second);
                        want_active.erase(active);
                    } else {
                        EXPECT_FALSE(removed);
                    }
                    if (job != want_jobs.end()) want_jobs.erase(job);
                }
            }
            if (step % 500 == 0) {
                ASSERT_EQ(actives(t), want_active) << "after step " << step;
                ASSERT_EQ(jobs(t), want_jobs) << "after step " << step;
                ASSERT_EQ(live, static_cast<int>(want_active.size() + want_jobs.size()));
            }
        }
        EXPECT_EQ(actives(t), want_active);
        EXPECT_EQ(jobs(t), want_jobs);
        EXPECT_EQ(t.active_count(), want_active.size());
        EXPECT_EQ(t.job_count(), want_jobs.size());
        t.clear();
        EXPECT_EQ(live, 0);
    }
}

TEST(TaskTable, LookupsHoldThroughGrowthAndGapsLeftByRemoval) {
    // Thousands of keys grow the index several times over while entries
    // sit in it; removing every third one then leaves gaps in the middle of
    // probe runs, which must neither hide the keys behind them nor let a
    // removed key be found.
    Table t;
    constexpr int N = 5000;
    for (int i = 0; i < N; ++i) t.set_active("task-" + std::to_string(i), value(i));
    for (int i = 0; i < N; i += 3) {
        Table::Entry* entry = t.find("task-" + std::to_string(i));
        ASSERT_NE(entry, nullptr) << i;
        t.remove(*entry);
    }
    for (int i = 0; i < N; ++i) {
        const auto* found = t.find("task-" + std::to_string(i));
        if (i % 3 == 0) {
            EXPECT_EQ(found, nullptr) << i;
        } else {
            ASSERT_NE(found, nullptr) << i;
            EXPECT_EQ(*found->active, i);
        }
    }
    EXPECT_EQ(t.active_count(), static_cast<std::size_t>(N - (N + 2) / 3));
}

}  // namespace
