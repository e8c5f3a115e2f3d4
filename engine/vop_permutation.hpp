// Right-multiplying VOPs by one fixed factor is a permutation of the 24 VOP values. The
// rules apply such a factor to every member of a neighbourhood; with 256-bit byte shuffles
// a whole word of members (64 VOP bytes) takes a few instructions and no branch per member.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "clifford_tables.hpp"
#include "multiversion.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace korvane {

// RIGHT_FACTOR_TABLE[f][v] is v*f, padded to 32 entries so 16-byte loads stay inside a row.
inline constexpr std::array<std::array<Vop, 32>, 24> RIGHT_FACTOR_TABLE = [] {
    std::array<std::array<Vop, 32>, 24> t{};
    for (std::size_t f = 0; f < 24; ++f)
        for (std::size_t v = 0; v < 24; ++v) t[f][v] = MULT_TABLE[v][f];
    return t;
}();

// Applies `factor` to vops[c] for each member c of a full row of `word_count` words;
// `vop_count` is the number of VOPs, at most 64 * word_count. Runs the AVX2 kernel where
// the CPU has it.
void right_multiply_members(Vop* vops, std::size_t vop_count, const std::uint64_t* words, std::size_t word_count,
                            Vop factor) noexcept;

class VopPermutation {
public:
    explicit VopPermutation(Vop factor) noexcept : map_(RIGHT_FACTOR_TABLE[factor].data()) {}

    // Applies the factor to vops[i] for every set bit i of `mask`, one member at a time.
    void apply_bits(Vop* vops, std::uint64_t mask) const noexcept {
        for (; mask; mask &= mask - 1) {
            Vop& v = vops[std::countr_zero(mask)];
            v = map_[v];
        }
    }

    // The same; all 64 bytes from `vops` must belong to the caller's array.
    void apply_word(Vop* vops, std::uint64_t mask) const noexcept { apply_bits(vops, mask); }

private:
    const Vop* map_;
};

#if defined(__x86_64__)
// The same with AVX2 byte shuffles: create and use it only where the CPU runs AVX2.
class VopPermutationAvx2 {
public:
    KORVANE_TARGET_AVX2 explicit VopPermutationAvx2(Vop factor) noexcept : bits_(factor) {
        const Vop* map = RIGHT_FACTOR_TABLE[factor].data();
        low_ = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(map)));
        high_ = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(map + 16)));
    }

    void apply_bits(Vop* vops, std::uint64_t mask) const noexcept { bits_.apply_bits(vops, mask); }

    // All 64 bytes from `vops` must belong to the caller's array; the bytes outside the
    // mask are written back unchanged.
    KORVANE_TARGET_AVX2 void apply_word(Vop* vops, std::uint64_t mask) const noexcept {
        apply_half(vops, static_cast<std::uint32_t>(mask));
        apply_half(vops + 32, static_cast<std::uint32_t>(mask >> 32));
    }

private:
    KORVANE_TARGET_AVX2 void apply_half(Vop* vops, std::uint32_t mask) const noexcept {
        if (mask == 0) return;
        auto* p = reinterpret_cast<__m256i*>(vops);
        const __m256i v = _mm256_loadu_si256(p);
        // Values 0..15 index the low table, 16..23 the high one; a negative index gives 0,
        // and the blend discards whichever table did not apply.
        const __m256i from_low = _mm256_shuffle_epi8(low_, v);
        const __m256i from_high = _mm256_shuffle_epi8(high_, _mm256_sub_epi8(v, _mm256_set1_epi8(16)));
        const __m256i mapped = _mm256_blendv_epi8(from_low, from_high, _mm256_cmpgt_epi8(v, _mm256_set1_epi8(15)));
        // Byte j of the selector is all ones when bit j of the mask is set.
        const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                                2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
        const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
        const __m256i bytes = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(mask)), spread);
        const __m256i chosen = _mm256_cmpeq_epi8(_mm256_and_si256(bytes, bit), bit);
        _mm256_storeu_si256(p, _mm256_blendv_epi8(v, mapped, chosen));
    }

    __m256i low_, high_;
    VopPermutation bits_;
};
#endif

// Applies `perm` to vops[c] for each set bit c of word_at(k), k below `word_count`;
// `vop_count` is the number of VOPs from `vops`: whole words by the word kernel, a last
// partial one member by member.
template <class Permutation, class WordAt>
KORVANE_INLINE inline void apply_to_words(const Permutation& perm, Vop* vops, std::size_t vop_count,
                                          std::size_t word_count, WordAt&& word_at) noexcept {
    const std::size_t whole = vop_count / 64;  // words whose 64 VOPs all exist
    for (std::size_t k = 0; k < word_count; ++k) {
        const std::uint64_t mask = word_at(k);
        if (mask == 0) continue;
        if (k < whole)
            perm.apply_word(vops + k * 64, mask);
        else
            perm.apply_bits(vops + k * 64, mask);
    }
}

// Applies `factor` to vops[c] for each set bit c of word_at(k), k below `word_count`, where
// `vop_count` is the number of VOPs from `vops`; word_at is inlined into the AVX2 kernel.
template <class WordAt>
void right_multiply_words(Vop* vops, std::size_t vop_count, std::size_t word_count, Vop factor,
                          WordAt&& word_at) noexcept {
    run_vector_kernel([&]([[maybe_unused]] auto width) KORVANE_INLINE {
#if defined(__x86_64__)
        if constexpr (decltype(width)::value == 32) {
            apply_to_words(VopPermutationAvx2(factor), vops, vop_count, word_count, word_at);
            return;
        }
#endif
        apply_to_words(VopPermutation(factor), vops, vop_count, word_count, word_at);
    });
}

}  // namespace korvane
