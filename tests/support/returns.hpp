// Whether a call that might hang returns: run on a thread of its own, waited for with a safety net.
#pragma once

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <utility>

namespace norvex::testing {

// Runs `work` on a new thread; false when it has not returned within a
// minute. The limit is a safety net against a hang, not a measure: the
// thread is then left where it hangs.
template <typename Work>
bool returns(Work work) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread([work = std::move(work), done]() mutable {
        work();
        done->set_value();
    }).detach();
    return finished.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
}

}  // namespace norvex::testing
