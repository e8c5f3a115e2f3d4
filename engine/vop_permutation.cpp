// The VOP factor on every member of a full row: AVX2 byte shuffles where the CPU has them.
#include "vop_permutation.hpp"

#include "multiversion.hpp"

namespace korvane {

void right_multiply_members(Vop* vops, std::size_t vop_count, const std::uint64_t* words, std::size_t word_count,
                            Vop factor) noexcept {
    right_multiply_words(vops, vop_count, word_count, factor, [words](std::size_t k) KORVANE_INLINE { return words[k]; });
}

}  // namespace korvane
