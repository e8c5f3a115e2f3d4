// The ChaCha block function against the published test vector, the generator's stream and
// re-keying, and the unbiased draw of a value below 3.
#include <gtest/gtest.h>

#include "chacha.hpp"
#include "chacha_rng.hpp"
#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

// RFC 8439, section 2.3.2.
TEST(ChaCha, BlockFunctionMatchesThePublishedTestVector) {
    Key key;
    for (int i = 0; i < 32; ++i) key[i] = static_cast<std::uint8_t>(i);
    // Nonce 00:00:00:09:00:00:00:4a:00:00:00:00 and block count 1 occupy words 12..15.
    const ChaChaBlock input = chacha_input(key, 0x0900000000000001ull, 0x4a000000ull);
    const ChaChaBlock expected_input{0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, 0x03020100, 0x07060504,
                                     0x0b0a0908, 0x0f0e0d0c, 0x13121110, 0x17161514, 0x1b1a1918, 0x1f1e1d1c,
                                     0x00000001, 0x09000000, 0x4a000000, 0x00000000};
    EXPECT_EQ(input, expected_input);
    const ChaChaBlock expected_output{0xe4e7f110, 0x15593bd1, 0x1fdd0f50, 0xc47120a3, 0xc7f4d1c7, 0x0368c033,
                                      0x9aaa2204, 0x4e6cd4c3, 0x466482d2, 0x09aa9f07, 0x05d7c214, 0xa2028bd9,
                                      0xd19c12b5, 0xb94e16de, 0xe883d0cb, 0x4e3c50a2};
    EXPECT_EQ(chacha_block(input, 20), expected_output);
    EXPECT_NE(chacha_block(input, 12), expected_output);
}

// A key source the test controls; the generator takes a plain function pointer.
struct KeyScript {
    int calls = 0;
    bool succeed = true;
    Key next{};
};
KeyScript g_keys;

bool scripted_key(Key& key) {
    ++g_keys.calls;
    if (!g_keys.succeed) return false;
    key = g_keys.next;
    return true;
}

Key key_from(std::uint8_t seed) {
    Key k;
    for (int i = 0; i < 32; ++i) k[i] = static_cast<std::uint8_t>(seed + 7 * i);
    return k;
}

// Word `i` of the ChaCha12 stream of `key` (block counter from 0, stream 0).
struct Stream {
    Key key;
    std::uint64_t first_block = 0;
    std::uint32_t word(std::uint64_t i) const {
        return chacha_block(chacha_input(key, first_block + i / 16, 0), 12)[i % 16];
    }
};

constexpr std::uint64_t kWordsPerKey = 64 * 1024 / 4;

TEST(ChaChaRng, ReKeysAfterExactly64KiB) {
    g_keys = {};
    const Key k1 = key_from(1), k2 = key_from(2), k3 = key_from(3);
    ChaChaRng rng(k1, &scripted_key);
    const Stream s1{k1}, s2{k2}, s3{k3};
    for (std::uint64_t i = 0; i < kWordsPerKey; ++i) ASSERT_EQ(rng.next_u32(), s1.word(i)) << "word " << i;
    EXPECT_EQ(g_keys.calls, 0);
    g_keys.next = k2;
    for (std::uint64_t i = 0; i < kWordsPerKey; ++i) ASSERT_EQ(rng.next_u32(), s2.word(i)) << "word " << i;
    EXPECT_EQ(g_keys.calls, 1);
    g_keys.next = k3;
    EXPECT_EQ(rng.next_u32(), s3.word(0));
    EXPECT_EQ(g_keys.calls, 2);
}

TEST(ChaChaRng, KeepsItsKeyWhenReKeyingFails) {
    g_keys = {};
    g_keys.succeed = false;
    const Key k1 = key_from(9), k2 = key_from(10);
    ChaChaRng rng(k1, &scripted_key);
    const Stream s1{k1};
    for (std::uint64_t i = 0; i < 2 * kWordsPerKey; ++i) ASSERT_EQ(rng.next_u32(), s1.word(i)) << "word " << i;
    // One failed attempt at 64 KiB, the next one another 64 KiB later.
    EXPECT_EQ(g_keys.calls, 1);
    g_keys.succeed = true;
    g_keys.next = k2;
    EXPECT_EQ(rng.next_u32(), (Stream{k2}.word(0)));
    EXPECT_EQ(g_keys.calls, 2);
}

TEST(ChaChaRng, OperatingSystemKeysDiffer) {
    Key a{}, b{};
    ASSERT_EQ(os_random_key(a), 0);
    ASSERT_EQ(os_random_key(b), 0);
    EXPECT_NE(a, b);
}

// With the thread generator, a fresh qubit measured along X gives both outcomes.
TEST(ChaChaRng, ThreadGeneratorDrivesRandomOutcomes) {
    int ones = 0;
    for (int i = 0; i < 64; ++i) {
        Simulator sim(1);
        ThreadRandom rng;
        ones += sim.measure(0, 0, rng);
    }
    EXPECT_GT(ones, 0);
    EXPECT_LT(ones, 64);
}

// The answer is the high word of 3x; when the low word is above 2^32 - 3 a second value y
// decides whether the carry from 3y's high word bumps it.
TEST(DrawBelow3, UsesTheHighWordOfThreeTimesTheValue) {
    struct Case {
        std::uint32_t x;
        std::uint8_t want;
    };
    for (const Case c : {Case{0, 0}, Case{0x55555554, 0}, Case{0x55555556, 1}, Case{0xaaaaaaa9, 1},
                         Case{0xaaaaaaab, 2}, Case{0xfffffffe, 2},
                         // 3x = 0x2fffffffd: the low word is exactly 2^32 - 3, not above it.
                         Case{0xffffffff, 2}}) {
        ScriptedSource src{c.x};
        EXPECT_EQ(draw_below_3(src), c.want) << std::hex << c.x;
        EXPECT_EQ(src.draws(), 1u) << std::hex << c.x;
    }
}

TEST(DrawBelow3, SecondDrawOnlyInTheLastTwoSlots) {
    struct Case {
        std::uint32_t x, y;
        std::uint8_t want;
    };
    for (const Case c : {
             // 3x = 0x0ffffffff: high 0, low 2^32 - 1. Any carry (high of 3y >= 1) bumps it.
             Case{0x55555555, 0x00000000, 0},
             Case{0x55555555, 0x55555555, 0},  // 3y = 0x0ffffffff: no carry
             Case{0x55555555, 0x55555556, 1},  // 3y = 0x100000002: carry
             Case{0x55555555, 0xffffffff, 1},
             // 3x = 0x1fffffffe: high 1, low 2^32 - 2. The carry needs high of 3y >= 2.
             Case{0xaaaaaaaa, 0x00000000, 1},
             Case{0xaaaaaaaa, 0xaaaaaaaa, 1},  // 3y = 0x1fffffffe: 1 + (2^32 - 2) does not overflow
             Case{0xaaaaaaaa, 0xaaaaaaab, 2},  // 3y = 0x200000001: overflows
             Case{0xaaaaaaaa, 0xffffffff, 2},
         }) {
        ScriptedSource src{c.x, c.y};
        EXPECT_EQ(draw_below_3(src), c.want) << std::hex << c.x << ", " << c.y;
        EXPECT_EQ(src.draws(), 2u) << std::hex << c.x << ", " << c.y;
    }
}

}  // namespace
}  // namespace korvane_test
