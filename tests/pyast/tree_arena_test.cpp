// The arena's interning: one view per distinct name, whatever its length and however full the table.
#include "norvex/pyast/ast.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace norvex::pyast {
namespace {

TEST(arena_intern, equal_names_share_one_view_and_different_ones_never_do) {
    Arena arena;
    // Names that share their first and last bytes and differ only inside, or only in length.
    std::vector<std::string> names = {"", "a", "ab", "abc", "aba", "abca", "abcda", "aaaaaaaaa", "aaaaaaaaaa"};
    for (std::size_t len = 1; len <= 40; ++len) {
        for (std::size_t i = 0; i < len; ++i) {
            std::string n(len, 'q');
            n[i] = 'Z';
            names.push_back(n);
        }
        names.push_back(std::string(len, 'q'));
    }
    names.push_back("abcdefghX12345678");
    names.push_back("abcdefghY12345678");
    std::vector<Identifier> first;
    for (const std::string& n : names) {
        // From a buffer of its own each time: equality must come from the text.
        const std::string copy = n;
        first.push_back(arena.intern(copy));
        EXPECT_EQ(first.back(), n);
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string again = names[i];
        const Identifier id = arena.intern(again);
        EXPECT_EQ(id.data(), first[i].data()) << names[i];
        for (std::size_t j = 0; j < i; ++j) {
            if (names[j] != names[i]) {
                EXPECT_NE(first[j].data(), id.data()) << names[i] << " / " << names[j];
            }
        }
    }
    EXPECT_NE(first[0].data(), nullptr) << "the empty name is a name, not none";
}

TEST(arena_intern, views_stay_shared_as_the_table_grows) {
    Arena arena;
    std::vector<Identifier> ids;
    for (int i = 0; i < 20000; ++i) ids.push_back(arena.intern("name_" + std::to_string(i * 7919)));
    for (int i = 0; i < 20000; ++i) {
        const Identifier id = arena.intern("name_" + std::to_string(i * 7919));
        ASSERT_EQ(id.data(), ids[static_cast<std::size_t>(i)].data()) << i;
    }
}

}  // namespace
}  // namespace norvex::pyast
