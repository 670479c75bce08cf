// Task ids from random version-4 UUIDs.
#include "norvex/common/ids.hpp"

#include <array>
#include <cstdint>
#include <random>

namespace norvex {

std::string new_task_id() {
    // A v4 UUID is 122 random bits with fixed version and variant bits; its
    // first 12 hex digits are 48 random bits, so those are all we draw.
    thread_local std::mt19937_64 gen{[] {
        std::random_device rd;
        std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
        return std::mt19937_64(seq);
    }()};
    static constexpr char hex[] = "0123456789abcdef";
    std::uint64_t bits = gen();
    std::string id(12, '0');
    for (int i = 11; i >= 0; --i) {
        id[static_cast<std::size_t>(i)] = hex[bits & 0xF];
        bits >>= 4;
    }
    return id;
}

}  // namespace norvex
