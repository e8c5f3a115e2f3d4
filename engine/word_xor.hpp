// dst ^= src over n 64-bit words: the loop under every long row XOR, built for each
// target (see multiversion.hpp).
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

void xor_word_run(std::uint64_t* __restrict dst, const std::uint64_t* __restrict src, std::size_t n) noexcept;

}  // namespace korvane
