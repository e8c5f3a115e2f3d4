// The word-at-a-time VOP update against the product table, one byte at a time, for every
// version of the kernel this CPU can run; and which versions the engine picked.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "clifford_tables.hpp"
#include "multiversion.hpp"
#include "vop_permutation.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

template <class Permutation>
void check_words() {
    std::mt19937_64 rng(31);
    for (int factor = 0; factor < 24; ++factor) {
        const Permutation perm(static_cast<Vop>(factor));
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

TEST(VopPermutation, MultipliesTheMembersOfAWordAndLeavesTheRest) {
    check_words<VopPermutation>();
#if defined(__x86_64__)
    if (__builtin_cpu_supports("avx2"))
        check_words<VopPermutationAvx2>();
    else
        std::cout << "no AVX2 on this CPU: its kernel is not run\n";
#endif
}

// The scripts that run the tests on emulated CPUs say which versions must be picked there
// (KORVANE_EXPECT_VECTOR_KERNELS), so a build that never picks AVX2, or picks it where
// the CPU lacks it, fails.
TEST(VectorKernels, FollowTheCpu) {
    const std::string chosen = vector_kernels();
    std::cout << "vector kernels: " << chosen << "\n";
    RecordProperty("vector_kernels", chosen);
#if defined(__x86_64__)
    // The compiler's own CPU test as a second opinion on the engine's cpuid reading.
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
    EXPECT_EQ(chosen, avx2 ? "avx2" : "baseline");
#else
    EXPECT_EQ(chosen, "baseline");
#endif
    if (const char* expected = std::getenv("KORVANE_EXPECT_VECTOR_KERNELS")) {
        EXPECT_EQ(chosen, expected);
    }
}

}  // namespace
}  // namespace korvane_test
