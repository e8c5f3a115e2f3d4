// The ChaCha block function with the round count as a parameter (20 for the published
// test vectors, 12 for the simulator's generator).
#pragma once

#include <array>
#include <cstdint>

namespace korvane {

using ChaChaBlock = std::array<std::uint32_t, 16>;

// `input` is the full 16-word state: constants, key, then words 12..15 (counter, nonce).
ChaChaBlock chacha_block(const ChaChaBlock& input, int rounds);

// Words 0..3 "expand 32-byte k", 4..11 the key (little-endian), 12..13 a 64-bit block
// counter, 14..15 a 64-bit stream number.
ChaChaBlock chacha_input(const std::array<std::uint8_t, 32>& key, std::uint64_t counter, std::uint64_t stream);

}  // namespace korvane
