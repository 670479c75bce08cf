// Shared set-up of the worker pool tests: an io_context, a pool and executors that sleep, fail or report.
#pragma once

#include "../../support/run_async.hpp"
#include "norvex/core/crewhall/crewhall.hpp"

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace norvex::testing {

inline boost::asio::awaitable<void> sleep_for(double seconds) {
    boost::asio::steady_timer t(co_await boost::asio::this_coro::executor,
                                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(seconds)));
    co_await t.async_wait(boost::asio::use_awaitable);
}

// Sleeps, then gives `result`.
inline crewhall::WorkerExecutor sleeper(double seconds, std::string result = "ok") {
    return [seconds, result](const crewhall::WorkerTask&, crewhall::UpdateStatus,
                             double) -> boost::asio::awaitable<std::string> {
        co_await sleep_for(seconds);
        co_return result;
    };
}

// Sleeps briefly, then throws a runtime_error with `message`.
inline crewhall::WorkerExecutor failer(std::string message) {
    return [message](const crewhall::WorkerTask&, crewhall::UpdateStatus,
                     double) -> boost::asio::awaitable<std::string> {
        co_await sleep_for(0.01);
        throw std::runtime_error(message);
    };
}

// A poll clock for wait_for() and wait_all() that moves only when they sleep
// on it: each sleep is noted, moves the time on by its seconds and lets the
// loop take one turn, so workers progress between polls as they would.
struct ManualPollClock {
    double now = 1000.0;
    std::vector<double> sleeps;

    crewhall::PollClock clock() {
        return {.now = [this] { return now; },
                .sleep = [this](double seconds) -> boost::asio::awaitable<void> {
                    sleeps.push_back(seconds);
                    now += seconds;
                    co_await boost::asio::post(co_await boost::asio::this_coro::executor, boost::asio::use_awaitable);
                }};
    }
};

// Executors that run until the test opens their gate, by the task's name:
// the order in which workers end is then the test's, not the clock's.
struct Gates {
    std::map<std::string, std::unique_ptr<boost::asio::steady_timer>> shut;

    crewhall::WorkerExecutor executor() {
        return [this](const crewhall::WorkerTask& task, crewhall::UpdateStatus,
                      double) -> boost::asio::awaitable<std::string> {
            auto& gate = shut[task.name];
            gate = std::make_unique<boost::asio::steady_timer>(co_await boost::asio::this_coro::executor,
                                                               boost::asio::steady_timer::time_point::max());
            co_await gate->async_wait(boost::asio::as_tuple(boost::asio::use_awaitable));
            shut.erase(task.name);
            co_return task.name;
        };
    }
    void open(const std::string& name) { shut.at(name)->cancel(); }
};

// What a status callback saw: (task id, state, current step) at each call.
struct Heard {
    std::string task_id;
    crewhall::WorkerState state;
    std::string current_step;
    double progress_pct;
};

class CrewhallTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (pool_) {
            run(pool_->cleanup());
            drain();
        }
    }

    crewhall::Crewhall& make_pool(crewhall::CrewhallOptions options = {}) {
        pool_ = std::make_unique<crewhall::Crewhall>(io.get_executor(), std::move(options));
        return *pool_;
    }

    // A plain callback that notes every status it is given.
    crewhall::StatusCallback recorder() {
        return [this](const crewhall::WorkerStatus& s) {
            heard.push_back({s.task_id, s.state, s.current_step, s.progress_pct});
        };
    }

    std::vector<crewhall::WorkerState> states_heard(const std::string& id) const {
        std::vector<crewhall::WorkerState> out;
        for (const auto& h : heard)
            if (h.task_id == id) out.push_back(h.state);
        return out;
    }

    template <typename T>
    T run(boost::asio::awaitable<T> op) {
        return run_async(io, std::move(op));
    }

    // Lets the loop run for a while (workers progress meanwhile).
    void settle(double seconds) { run(sleep_for(seconds)); }

    // Runs whatever is ready, and what that makes ready, without waiting
    // for any timer.
    void turn() {
        io.restart();
        while (io.poll() > 0) {
        }
    }

    // Runs the loop until every job and timer has finished.
    void drain() {
        io.restart();
        io.run();
    }

    boost::asio::io_context io;
    std::vector<Heard> heard;
    std::unique_ptr<crewhall::Crewhall> pool_;
};

// A task known by its name, as most tests need no more.
inline crewhall::WorkerTask named(std::string name, double timeout = 600.0) {
    return crewhall::WorkerTask{.name = std::move(name), .timeout = timeout};
}

}  // namespace norvex::testing
