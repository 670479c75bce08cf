// Ids, rounding, loggers, the ordered map, truthiness, the semaphore and timeouts.
#include "../support/run_async.hpp"
#include "norvex/common/async_semaphore.hpp"
#include "norvex/common/async_timeout.hpp"
#include "norvex/common/ids.hpp"
#include "norvex/common/log_capture.hpp"
#include "norvex/common/logging.hpp"
#include "norvex/common/ordered_map.hpp"
#include "norvex/common/py_round.hpp"
#include "norvex/common/truthy.hpp"

#include <boost/asio/bind_cancellation_slot.hpp>
#include <boost/asio/cancellation_signal.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <regex>
#include <set>

namespace asio = boost::asio;
using norvex::testing::run_async;

TEST(Ids, TwelveLowercaseHexDigitsAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        auto id = norvex::new_task_id();
        ASSERT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{12}"))) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

TEST(PyRound, CorrectlyRoundedTiesToEven) {
    // Values checked against Python's round().
    EXPECT_EQ(norvex::py_round(2.675, 2), 2.67);  // 2.675 is just below the tie in binary
    EXPECT_EQ(norvex::py_round(0.125, 2), 0.12);  // an exact tie goes to even
    EXPECT_EQ(norvex::py_round(0.375, 2), 0.38);
    EXPECT_EQ(norvex::py_round(2.5, 0), 2.0);
    EXPECT_EQ(norvex::py_round(3.5, 0), 4.0);
    EXPECT_EQ(norvex::py_round(1.2345, 1), 1.2);
    EXPECT_EQ(norvex::py_round(-0.04, 1), -0.0);
    EXPECT_TRUE(std::signbit(norvex::py_round(-0.04, 1)));
    EXPECT_EQ(norvex::py_round(1e300, 2), 1e300);
    EXPECT_TRUE(std::isnan(norvex::py_round(NAN, 2)));
    EXPECT_EQ(norvex::py_round(1234.0, -2), 1200.0);
}

TEST(Logging, NamedLoggersShareTheHostsSinksAndLevel) {
    auto a = norvex::logging::get("norvex.test.a");
    EXPECT_EQ(a, norvex::logging::get("norvex.test.a"));
    EXPECT_EQ(a->level(), spdlog::level::warn);  // quiet until the host says otherwise
    {
        norvex::logging::LogCapture capture("norvex.test.a");
        a->debug("hidden {}", 1);
        a->info("shown {}", 2);
        a->warn("warned");
        EXPECT_EQ(capture.messages(spdlog::level::debug), std::vector<std::string>{"hidden 1"});
        EXPECT_TRUE(capture.contains(spdlog::level::info, "shown 2"));
        EXPECT_EQ(capture.records().size(), 3u);
    }
    EXPECT_EQ(a->level(), spdlog::level::warn);  // the capture gave the level back
    norvex::logging::set_level(spdlog::level::debug);
    EXPECT_EQ(a->level(), spdlog::level::debug);
    EXPECT_EQ(norvex::logging::get("norvex.test.b")->level(), spdlog::level::debug);
    norvex::logging::set_level(spdlog::level::warn);
}

TEST(OrderedMap, KeepsFirstPositionOnReassignAndClosesGaps) {
    norvex::OrderedMap<std::string, int> m;
    m.assign("b", 1);
    m.assign("a", 2);
    m.assign("b", 3);
    m.assign("c", 4);
    std::vector<std::pair<std::string, int>> seen(m.begin(), m.end());
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"b", 3}, {"a", 2}, {"c", 4}}));
    EXPECT_TRUE(m.erase("a"));
    EXPECT_FALSE(m.erase("a"));
    EXPECT_EQ(*m.find("c"), 4);
    EXPECT_EQ(m.find("a"), nullptr);
    m.assign("a", 5);
    EXPECT_EQ(std::prev(m.end())->first, "a");
}

TEST(OrderedMap, TakeGivesTheValueAndTheRestKeepTheirOrderAndPlaces) {
    norvex::OrderedMap<std::string, std::unique_ptr<int>> m;
    for (int i = 0; i < 6; ++i) m.assign("k" + std::to_string(i), std::make_unique<int>(i));
    std::unique_ptr<int>* kept = m.find("k4");
    ASSERT_NE(kept, nullptr);

    // The oldest, one in the middle and the newest.
    for (const char* key : {"k0", "k2", "k5"}) {
        std::optional<std::unique_ptr<int>> taken = m.take(key);
        ASSERT_TRUE(taken.has_value()) << key;
        EXPECT_EQ(**taken, key[1] - '0');
        EXPECT_FALSE(m.contains(key));
    }
    EXPECT_FALSE(m.take("k0").has_value());
    EXPECT_FALSE(m.take("never").has_value());
    EXPECT_EQ(m.find("k4"), kept);  // values do not move when others go

    std::vector<std::string> keys;
    for (const auto& [key, value] : m) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"k1", "k3", "k4"}));
    EXPECT_EQ(m.size(), 3u);
    m.assign("k0", std::make_unique<int>(10));  // a taken key comes back last
    EXPECT_EQ(std::prev(m.end())->first, "k0");
    EXPECT_EQ(*m.begin()->second, 1);
}

TEST(Truthy, PythonsTruthValues) {
    using boost::json::value;
    for (const auto& v : {value(true), value(1), value(-1.5), value("x"), value(boost::json::array{1}),
                          value(boost::json::object{{"k", 0}})})
        EXPECT_TRUE(norvex::truthy(v)) << v;
    for (const auto& v : {value(nullptr), value(false), value(0), value(0.0), value(""), value(boost::json::array{}),
                          value(boost::json::object{})})
        EXPECT_FALSE(norvex::truthy(v)) << v;
}

namespace {

asio::awaitable<void> hold(norvex::AsyncSemaphore& sem, std::vector<std::string>& log, std::string name, int ms) {
    auto slot = co_await sem.scoped_acquire();
    log.push_back(name + "+");
    asio::steady_timer t(co_await asio::this_coro::executor, std::chrono::milliseconds(ms));
    co_await t.async_wait(asio::use_awaitable);
    log.push_back(name + "-");
}

asio::awaitable<void> sleep_ms(int ms) {
    asio::steady_timer t(co_await asio::this_coro::executor, std::chrono::milliseconds(ms));
    co_await t.async_wait(asio::use_awaitable);
}

asio::awaitable<int> fail_after(int ms) {
    co_await sleep_ms(ms);
    throw std::runtime_error("failed early");
}

}  // namespace

TEST(AsyncSemaphore, BoundsHoldersAndServesWaitersInOrder) {
    asio::io_context io;
    norvex::AsyncSemaphore sem(io.get_executor(), 2);
    std::vector<std::string> log;
    for (const char* name : {"a", "b", "c", "d"}) asio::co_spawn(io, hold(sem, log, name, 20), asio::detached);
    io.run();
    std::vector<std::string> order;
    int holding = 0, most = 0;
    for (const auto& entry : log) {
        if (entry.back() == '+') {
            order.push_back(entry.substr(0, 1));
            most = std::max(most, ++holding);
        } else {
            --holding;
        }
    }
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(most, 2);
    EXPECT_EQ(log.size(), 8u);
    EXPECT_EQ(sem.available(), 2u);
}

TEST(AsyncSemaphore, CancelledWaiterLeavesTheQueue) {
    asio::io_context io;
    norvex::AsyncSemaphore sem(io.get_executor(), 1);
    ASSERT_TRUE(sem.try_acquire());
    asio::cancellation_signal cancel;
    std::exception_ptr outcome;
    bool done = false;
    asio::co_spawn(io, sem.acquire(), asio::bind_cancellation_slot(cancel.slot(), [&](std::exception_ptr e) {
                       outcome = e;
                       done = true;
                   }));
    io.poll();
    EXPECT_EQ(sem.waiting(), 1u);
    cancel.emit(asio::cancellation_type::terminal);
    io.poll();
    ASSERT_TRUE(done);
    EXPECT_TRUE(outcome);
    EXPECT_EQ(sem.waiting(), 0u);
    sem.release();
    EXPECT_EQ(sem.available(), 1u);  // the slot did not go to the cancelled waiter
}

TEST(WithTimeout, ValueTimeoutAndEarlyFailure) {
    asio::io_context io;
    auto value = [](int ms) -> asio::awaitable<int> {
        co_await sleep_ms(ms);
        co_return 7;
    };
    EXPECT_EQ(run_async(io, norvex::with_timeout(value(1), 5.0)), std::optional<int>(7));
    EXPECT_EQ(run_async(io, norvex::with_timeout(value(500), 0.02)), std::nullopt);
    EXPECT_TRUE(run_async(io, norvex::with_timeout(sleep_ms(1), 5.0)));
    EXPECT_FALSE(run_async(io, norvex::with_timeout(sleep_ms(500), 0.02)));

    // A failure comes through at once, not after the timeout.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_THROW(run_async(io, norvex::with_timeout(fail_after(1), 30.0)), std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
}

TEST(AsyncSemaphore, WaitersDestroyedWithTheirLoopLeaveTheQueue) {
    auto io = std::make_unique<asio::io_context>();
    norvex::AsyncSemaphore sem(io->get_executor(), 1);
    ASSERT_TRUE(sem.try_acquire());
    asio::co_spawn(*io, sem.acquire(), asio::detached);
    io->poll();
    EXPECT_EQ(sem.waiting(), 1u);
    io.reset();  // the waiting coroutine's frame goes with its loop
    EXPECT_EQ(sem.waiting(), 0u);
    sem.release();
    EXPECT_EQ(sem.available(), 1u);
}
