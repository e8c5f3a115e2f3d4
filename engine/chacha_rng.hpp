// A ChaCha12 generator of 32-bit values that takes a fresh key from a seed source after
// every 64 KiB of output, and keeps its key when that source fails.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "chacha.hpp"

namespace korvane {

using Key = std::array<std::uint8_t, 32>;

// Fills the key; false when no key could be had.
using KeySource = bool (*)(Key& key);

class ChaChaRng {
public:
    static constexpr std::size_t kReseedBytes = 64 * 1024;
    static constexpr int kRounds = 12;

    ChaChaRng(const Key& key, KeySource reseed) : key_(key), reseed_(reseed) {}

    std::uint32_t next_u32() {
        if (index_ == block_.size()) refill();
        return block_[index_++];
    }

private:
    void refill();

    Key key_;
    KeySource reseed_;
    std::uint64_t counter_ = 0;
    std::size_t bytes_since_key_ = 0;
    ChaChaBlock block_{};
    std::size_t index_ = block_.size();
};

// The operating system's random source: getrandom, or /dev/urandom once /dev/random is
// readable. Returns 0 on success, otherwise an errno value.
int os_random_key(Key& key);

}  // namespace korvane
