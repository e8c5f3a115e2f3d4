// The word-at-a-time VOP update against the product table, one byte at a time.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

#include "clifford_tables.hpp"
#include "vop_permutation.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

TEST(VopPermutation, MultipliesTheMembersOfAWordAndLeavesTheRest) {
    std::mt19937_64 rng(31);
    for (int factor = 0; factor < 24; ++factor) {
        const VopPermutation perm(static_cast<Vop>(factor));
        for (int trial = 0; trial < 200; ++trial) {
            // Guard bytes on both sides catch a write outside the 64 bytes.
            std::array<Vop, 64 + 2 * 32> bytes{};
            for (Vop& v : bytes) v = static_cast<Vop>(rng() % 24);
            const std::uint64_t masks[] = {rng(), rng() & rng(), std::uint64_t{1} << (trial % 64), ~std::uint64_t{0},
                                           0xffffffff00000000ULL, 0};
            const std::uint64_t mask = masks[trial % 6];
            std::array<Vop, bytes.size()> want = bytes;
            for (int i = 0; i < 64; ++i)
                if ((mask >> i) & 1) want[32 + i] = MULT_TABLE[want[32 + i]][factor];
            std::array<Vop, bytes.size()> by_bits = bytes;
            perm.apply_word(bytes.data() + 32, mask);
            perm.apply_bits(by_bits.data() + 32, mask);
            ASSERT_EQ(bytes, want) << "factor " << factor << ", mask " << std::hex << mask;
            ASSERT_EQ(by_bits, want) << "factor " << factor << ", mask " << std::hex << mask;
        }
    }
}

}  // namespace
}  // namespace korvane_test
