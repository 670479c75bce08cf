// Shared set-up of the forkyard tests: an io_context and the test worker program.
#pragma once

#include "../../support/run_async.hpp"
#include "norvex/core/forkyard/records.hpp"

#include <boost/asio/io_context.hpp>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own count (g++ ships no header declaring it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace norvex::testing {

inline const std::string WORKERS_DIR = NORVEX_TEST_WORKERS_DIR;
inline const std::string TEST_WORKER = WORKERS_DIR + "/cmdmule";

// env entries selecting the test worker's behaviour.
inline forkyard::EnvVars mode(const std::string& name, forkyard::EnvVars more = {}) {
    more.insert(more.begin(), {"NORVEX_TEST_MODE", name});
    return more;
}

inline std::string hex(std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// Bytes the allocator has handed out and not yet got back.
inline std::size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const auto info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

class AsyncTest : public ::testing::Test {
protected:
    template <typename T>
    T run(boost::asio::awaitable<T> op) {
        return run_async(io, std::move(op));
    }
    boost::asio::io_context io;
};

}  // namespace norvex::testing
