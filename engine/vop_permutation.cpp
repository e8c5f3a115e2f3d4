// The VOP factor on every member of a full row: AVX2 byte shuffles where the CPU has them.
#include "vop_permutation.hpp"

#include "multiversion.hpp"

namespace korvane {
namespace {

// Whole words of VOPs by the word kernel, the last partial word member by member.
template <class Permutation>
KORVANE_INLINE inline void apply_to_row(const Permutation& perm, Vop* vops, std::size_t vop_count,
                                        const std::uint64_t* words, std::size_t word_count) noexcept {
    const std::size_t whole = vop_count / 64;  // words whose 64 VOPs all exist
    for (std::size_t k = 0; k < word_count; ++k) {
        if (words[k] == 0) continue;
        if (k < whole)
            perm.apply_word(vops + k * 64, words[k]);
        else
            perm.apply_bits(vops + k * 64, words[k]);
    }
}

}  // namespace

void right_multiply_members(Vop* vops, std::size_t vop_count, const std::uint64_t* words, std::size_t word_count,
                            Vop factor) noexcept {
    run_vector_kernel([&](auto width) KORVANE_INLINE {
#if defined(__x86_64__)
        if constexpr (decltype(width)::value == 32) {
            apply_to_row(VopPermutationAvx2(factor), vops, vop_count, words, word_count);
            return;
        }
#endif
        apply_to_row(VopPermutation(factor), vops, vop_count, words, word_count);
    });
}

}  // namespace korvane
