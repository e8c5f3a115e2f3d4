#include "word_xor.hpp"

#include "multiversion.hpp"

namespace korvane {

KORVANE_AVX2_CLONES void xor_word_run(std::uint64_t* __restrict dst, const std::uint64_t* __restrict src,
                                      std::size_t n) noexcept {
    for (std::size_t k = 0; k < n; ++k) dst[k] ^= src[k];
}

}  // namespace korvane
