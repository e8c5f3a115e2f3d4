// The 24-element local Clifford group: product, inverse and Pauli-conjugation tables.
#pragma once

#include <array>
#include <cstdint>

namespace korvane {

using Vop = std::uint8_t;

// MULT_TABLE[a][b] is a*b: b acts first, then a.
inline constexpr std::array<std::array<Vop, 24>, 24> MULT_TABLE = {{
    {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23}},
    {{1, 0, 3, 2, 6, 7, 4, 5, 11, 10, 9, 8, 13, 12, 15, 14, 19, 18, 17, 16, 22, 23, 20, 21}},
    {{2, 3, 0, 1, 5, 4, 7, 6, 10, 11, 8, 9, 15, 14, 13, 12, 17, 16, 19, 18, 23, 22, 21, 20}},
    {{3, 2, 1, 0, 7, 6, 5, 4, 9, 8, 11, 10, 14, 15, 12, 13, 18, 19, 16, 17, 21, 20, 23, 22}},
    {{4, 5, 6, 7, 0, 1, 2, 3, 20, 21, 22, 23, 16, 17, 18, 19, 12, 13, 14, 15, 8, 9, 10, 11}},
    {{5, 4, 7, 6, 2, 3, 0, 1, 23, 22, 21, 20, 17, 16, 19, 18, 15, 14, 13, 12, 10, 11, 8, 9}},
    {{6, 7, 4, 5, 1, 0, 3, 2, 22, 23, 20, 21, 19, 18, 17, 16, 13, 12, 15, 14, 11, 10, 9, 8}},
    {{7, 6, 5, 4, 3, 2, 1, 0, 21, 20, 23, 22, 18, 19, 16, 17, 14, 15, 12, 13, 9, 8, 11, 10}},
    {{8, 9, 10, 11, 16, 17, 18, 19, 0, 1, 2, 3, 20, 21, 22, 23, 4, 5, 6, 7, 12, 13, 14, 15}},
    {{9, 8, 11, 10, 18, 19, 16, 17, 3, 2, 1, 0, 21, 20, 23, 22, 7, 6, 5, 4, 14, 15, 12, 13}},
    {{10, 11, 8, 9, 17, 16, 19, 18, 2, 3, 0, 1, 23, 22, 21, 20, 5, 4, 7, 6, 15, 14, 13, 12}},
    {{11, 10, 9, 8, 19, 18, 17, 16, 1, 0, 3, 2, 22, 23, 20, 21, 6, 7, 4, 5, 13, 12, 15, 14}},
    {{12, 13, 14, 15, 20, 21, 22, 23, 16, 17, 18, 19, 0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7}},
    {{13, 12, 15, 14, 22, 23, 20, 21, 19, 18, 17, 16, 1, 0, 3, 2, 11, 10, 9, 8, 6, 7, 4, 5}},
    {{14, 15, 12, 13, 21, 20, 23, 22, 18, 19, 16, 17, 3, 2, 1, 0, 9, 8, 11, 10, 7, 6, 5, 4}},
    {{15, 14, 13, 12, 23, 22, 21, 20, 17, 16, 19, 18, 2, 3, 0, 1, 10, 11, 8, 9, 5, 4, 7, 6}},
    {{16, 17, 18, 19, 8, 9, 10, 11, 12, 13, 14, 15, 4, 5, 6, 7, 20, 21, 22, 23, 0, 1, 2, 3}},
    {{17, 16, 19, 18, 10, 11, 8, 9, 15, 14, 13, 12, 5, 4, 7, 6, 23, 22, 21, 20, 2, 3, 0, 1}},
    {{18, 19, 16, 17, 9, 8, 11, 10, 14, 15, 12, 13, 7, 6, 5, 4, 21, 20, 23, 22, 3, 2, 1, 0}},
    {{19, 18, 17, 16, 11, 10, 9, 8, 13, 12, 15, 14, 6, 7, 4, 5, 22, 23, 20, 21, 1, 0, 3, 2}},
    {{20, 21, 22, 23, 12, 13, 14, 15, 4, 5, 6, 7, 8, 9, 10, 11, 0, 1, 2, 3, 16, 17, 18, 19}},
    {{21, 20, 23, 22, 14, 15, 12, 13, 7, 6, 5, 4, 9, 8, 11, 10, 3, 2, 1, 0, 18, 19, 16, 17}},
    {{22, 23, 20, 21, 13, 12, 15, 14, 6, 7, 4, 5, 11, 10, 9, 8, 1, 0, 3, 2, 19, 18, 17, 16}},
    {{23, 22, 21, 20, 15, 14, 13, 12, 5, 4, 7, 6, 10, 11, 8, 9, 2, 3, 0, 1, 17, 16, 19, 18}},
}};

inline constexpr std::array<Vop, 24> ADJOINT_TABLE = {{0, 1, 2, 3, 4, 6, 5, 7, 8, 11, 10, 9, 12, 13, 15, 14, 20, 22, 23, 21, 16, 19, 17, 18}};

// CONJ_AXIS_TABLE[a][v] is the axis of v * P_a * v^dagger.
inline constexpr std::array<std::array<std::uint8_t, 24>, 3> CONJ_AXIS_TABLE = {{
    {{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2}},
    {{1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0}},
    {{2, 2, 2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1}},
}};

// X_PREIMAGE_TABLE[v] is the axis of v^dagger * X * v.
inline constexpr std::array<std::uint8_t, 24> X_PREIMAGE_TABLE = {{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 2, 2, 2, 2, 1, 1, 1, 1}};
// The axis that measuring `a` becomes after conjugation by `v`, and whether it is negated.
struct ConjugatedAxis {
    std::uint8_t axis;
    bool negated;
};

// The sign follows from the numbering: v = 4k + p, the Pauli part p flips axes it
// anticommutes with, and the class representatives 4, 8, 12 negate every image.
constexpr ConjugatedAxis conjugate_axis(Vop v, std::uint8_t a) {
    const unsigned p = v & 3u;
    const bool pauli_flips = p != 0 && p != a + 1u;
    const bool class_flips = v >= 4 && v < 16;
    return {CONJ_AXIS_TABLE[a][v], pauli_flips != class_flips};
}

// Named elements used across the engine.
inline constexpr Vop VOP_COUNT = 24;
inline constexpr Vop VOP_I = 0;
inline constexpr Vop VOP_X = 1;
inline constexpr Vop VOP_Y = 2;
inline constexpr Vop VOP_Z = 3;
inline constexpr Vop VOP_SDAG = 5;
inline constexpr Vop VOP_S = 6;
inline constexpr Vop VOP_SQRT_MINUS_IY = 9;  // (I - iY)/sqrt2
inline constexpr Vop VOP_H = 10;
inline constexpr Vop VOP_SQRT_PLUS_IY = 11;  // (I + iY)/sqrt2
inline constexpr Vop VOP_SQRT_PLUS_IX = 14;  // (I + iX)/sqrt2

// The VOPs that commute with controlled-Z: I, Z, S-dagger, S.
constexpr bool is_diagonal(Vop v) { return v <= 6 && ((0b1101001u >> v) & 1u); }

}  // namespace korvane
