#include "chacha.hpp"

#include <bit>

namespace korvane {

namespace {

inline void quarter_round(ChaChaBlock& x, int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 7);
}

}  // namespace

ChaChaBlock chacha_block(const ChaChaBlock& input, int rounds) {
    ChaChaBlock x = input;
    for (int i = 0; i < rounds; i += 2) {
        quarter_round(x, 0, 4, 8, 12);
        quarter_round(x, 1, 5, 9, 13);
        quarter_round(x, 2, 6, 10, 14);
        quarter_round(x, 3, 7, 11, 15);
        quarter_round(x, 0, 5, 10, 15);
        quarter_round(x, 1, 6, 11, 12);
        quarter_round(x, 2, 7, 8, 13);
        quarter_round(x, 3, 4, 9, 14);
    }
    for (int i = 0; i < 16; ++i) x[i] += input[i];
    return x;
}

ChaChaBlock chacha_input(const std::array<std::uint8_t, 32>& key, std::uint64_t counter, std::uint64_t stream) {
    ChaChaBlock s{0x61707865u, 0x3320646eu, 0x79622d32u, 0x6b206574u};
    for (int i = 0; i < 8; ++i)
        s[4 + i] = std::uint32_t{key[4 * i]} | std::uint32_t{key[4 * i + 1]} << 8 |
                   std::uint32_t{key[4 * i + 2]} << 16 | std::uint32_t{key[4 * i + 3]} << 24;
    s[12] = static_cast<std::uint32_t>(counter);
    s[13] = static_cast<std::uint32_t>(counter >> 32);
    s[14] = static_cast<std::uint32_t>(stream);
    s[15] = static_cast<std::uint32_t>(stream >> 32);
    return s;
}

}  // namespace korvane
