// Splitting an image's rows between this thread and one more.
#pragma once

#include <functional>
#include <thread>

namespace norvex::pc::deskhand {

// Runs work(first, last) over [0, rows): the upper half on a second thread,
// the lower half here, and returns when both are done. Small jobs and
// single-core machines run in one piece. `work` must only touch its rows.
inline void parallel_rows(int rows, const std::function<void(int, int)>& work) {
    if (rows < 64 || std::thread::hardware_concurrency() < 2) {
        work(0, rows);
        return;
    }
    const int half = rows / 2;
    std::thread helper([&] { work(half, rows); });
    work(0, half);
    helper.join();
}

}  // namespace norvex::pc::deskhand
