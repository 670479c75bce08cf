// calculate_complexity and build_call_graph; expected texts are the Python reference's.
#include "probe_test_util.hpp"

#include "norvex/workers/astprobe/metrics.hpp"

using namespace norvex::astprobe;
using norvex::testing::parse_ok;
using norvex::testing::text_of;

TEST(Complexity, DecisionPointsPerFunctionNestedOnesCountingOutward) {
    auto tree = parse_ok(
        "def straight():\n    return 1\n\n"
        "def branches(x):\n    if x: pass\n    elif y: pass\n    else: pass\n    try: pass\n    except A: pass\n"
        "    except B: pass\n    finally: pass\n    return [a for a in b for c in a if c]\n\n"
        "def outer():\n    def inner():\n        if x: pass\n    return x if y else z\n\n"
        "def bools(a):\n    assert a and b and c\n    assert a and (b or c)\n    while x: pass\n    async def g():\n"
        "        async for i in y: pass\n    with w: pass\n    match a:\n        case 1: pass\n        case _: pass\n"
        "    return {k: v for k in x}, {s for s in x}, (g for g in x), lambda: [q for q in x]\n");
    EXPECT_EQ(text_of(calculate_complexity(*tree->root)),
              R"([{"name": "straight", "line": 1, "complexity": 1, "rating": "A"}, )"
              R"({"name": "branches", "line": 4, "complexity": 6, "rating": "B"}, )"
              R"({"name": "outer", "line": 14, "complexity": 2, "rating": "A"}, )"
              R"({"name": "bools", "line": 19, "complexity": 13, "rating": "C"}, )"
              R"({"name": "inner", "line": 15, "complexity": 2, "rating": "A"}, )"
              R"({"name": "g", "line": 23, "complexity": 2, "rating": "A"}])");
}

TEST(Complexity, RatingThresholds) {
    const std::pair<int, const char*> cases[] = {{5, "A"}, {6, "B"}, {10, "B"}, {11, "C"}, {20, "C"}, {21, "F"}};
    for (const auto& [figure, rating] : cases) {
        std::string source = "def f(x):\n";
        for (int i = 1; i < figure; ++i) source += "    if x" + std::to_string(i) + ": pass\n";
        auto tree = parse_ok(source);
        const auto records = calculate_complexity(*tree->root);
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].at("complexity"), figure);
        EXPECT_EQ(records[0].at("rating"), rating) << figure;
    }
    EXPECT_EQ(complexity_rating(1), "A");
    EXPECT_EQ(complexity_rating(1000), "F");
}

TEST(CallGraph, SortedDistinctNamesFirstPlaceLastList) {
    auto tree = parse_ok(
        "def f(self):\n    print(1)\n    print(2)\n    self.run()\n    store.save()\n    get()()\n    x[0](len(y))\n"
        "    (lambda: zed())()\n\ndef nothing(): pass\n\ndef f():\n    \xc3\xa9" "a()\n    zz()\n    Ab()\n    _b()\n\n"
        "class C:\n    def nothing(self):\n        other()\n\n@deco(arg())\ndef d(p=default()):\n    def nested(): inner()\n");
    EXPECT_EQ(text_of(build_call_graph(*tree->root)),
              R"({"f": ["Ab", "_b", "zz", "\u00e9a"], "nothing": ["other"], "d": ["arg", "deco", "default", "inner"], "nested": ["inner"]})");
}

TEST(CallGraph, NoFunctionsNoEntries) {
    auto tree = parse_ok("print(1)\nclass C:\n    x = f()\n");
    EXPECT_TRUE(build_call_graph(*tree->root).empty());
    EXPECT_TRUE(calculate_complexity(*tree->root).empty());
}
