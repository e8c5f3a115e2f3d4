// The row XOR that every rewriting rule comes down to: dst ^= src over a run of whole
// vectors. One kernel for every walk (the measurement rules on windows, the pivot and the
// complementation on full rows), so that tuning it tunes them all; the row layouts decide
// only where a run starts and how long it is.
//
// Callers guarantee what makes whole vectors safe: both runs are readable and dst writable
// up to the end of the last vector, and any words past the wanted ones are zero in src (or
// belong to dst's own spare room), so XORing them changes nothing. Both runs start at the
// same offset within a 32-byte block, which keeps every vector aligned in both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "multiversion.hpp"

namespace korvane {

// Words per vector of VectorBytes.
template <std::size_t VectorBytes>
inline constexpr std::size_t kVectorWords = VectorBytes / 8;

// Vectors of VectorBytes that cover `words` words.
template <std::size_t VectorBytes>
constexpr std::size_t vectors_over(std::size_t words) noexcept {
    return (words + kVectorWords<VectorBytes> - 1) / kVectorWords<VectorBytes>;
}

// The vector type of the row XORs, per width (multiversion.hpp): 8-byte aligned, since a
// run may start at any word, and free to alias the rows' words.
template <std::size_t VectorBytes>
struct RowVectorOf;
template <>
struct RowVectorOf<16> {
    typedef std::uint64_t type __attribute__((vector_size(16), aligned(8), may_alias));
};
template <>
struct RowVectorOf<32> {
    typedef std::uint64_t type __attribute__((vector_size(32), aligned(8), may_alias));
};
template <std::size_t VectorBytes>
using RowVector = typename RowVectorOf<VectorBytes>::type;

// Runs longer than this many vectors loop over the excess before the jump into the
// unrolled sequence: a rule's walk XORs many rows of one length, and a loop's counting
// costs as much as its XORs.
inline constexpr std::size_t kUnrolledVectors = 8;

// dst ^= src over `vectors` vectors of VectorBytes. Vectors, when not 0, is the count
// known at compile time: the run is then a straight sequence of vector operations.
template <std::size_t VectorBytes, std::size_t Vectors = 0>
KORVANE_INLINE inline void xor_vectors(std::uint64_t* dst, const std::uint64_t* src, std::size_t vectors) noexcept {
    using Vector = RowVector<VectorBytes>;
    Vector* const d = reinterpret_cast<Vector*>(dst);
    const Vector* const s = reinterpret_cast<const Vector*>(src);
    const auto step = [&](std::size_t i) KORVANE_INLINE { d[i] ^= s[i]; };
    if constexpr (Vectors != 0) {
        [&]<std::size_t... I>(std::index_sequence<I...>) KORVANE_INLINE { (step(I), ...); }
        (std::make_index_sequence<Vectors>{});
    } else {
        std::size_t k = vectors;
        for (; k > kUnrolledVectors; --k) step(k - 1);
        static_assert(kUnrolledVectors == 8, "one case per unrolled vector");
        switch (k) {
            case 8: step(7); [[fallthrough]];
            case 7: step(6); [[fallthrough]];
            case 6: step(5); [[fallthrough]];
            case 5: step(4); [[fallthrough]];
            case 4: step(3); [[fallthrough]];
            case 3: step(2); [[fallthrough]];
            case 2: step(1); [[fallthrough]];
            case 1: step(0); [[fallthrough]];
            default: break;
        }
    }
}

// Runs body(count), count a std::integral_constant: of n when 1 <= n <= Max, else of 0
// ("not known"). A walk that XORs many rows of one length dispatches once, and each of its
// row XORs is then a straight sequence.
template <std::size_t Max, class Body>
KORVANE_INLINE inline void with_known_count(std::size_t n, Body&& body) {
    static_assert(Max <= 8, "one case per count");
    const auto known = [&]<std::size_t N>(std::integral_constant<std::size_t, N> count) KORVANE_INLINE {
        if constexpr (N <= Max) body(count); else body(std::integral_constant<std::size_t, 0>{});
    };
    switch (n) {
        case 1: known(std::integral_constant<std::size_t, 1>{}); break;
        case 2: known(std::integral_constant<std::size_t, 2>{}); break;
        case 3: known(std::integral_constant<std::size_t, 3>{}); break;
        case 4: known(std::integral_constant<std::size_t, 4>{}); break;
        case 5: known(std::integral_constant<std::size_t, 5>{}); break;
        case 6: known(std::integral_constant<std::size_t, 6>{}); break;
        case 7: known(std::integral_constant<std::size_t, 7>{}); break;
        case 8: known(std::integral_constant<std::size_t, 8>{}); break;
        default: body(std::integral_constant<std::size_t, 0>{}); break;
    }
}

}  // namespace korvane
