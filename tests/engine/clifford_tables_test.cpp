// The engine's constant group tables against tables computed from explicit matrices.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "clifford_reference.hpp"
#include "clifford_tables.hpp"
#include "decomposition_table.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

Mat2 sqrt_pauli(int axis, double sign) {
    // (I + sign * i * P) / sqrt2
    const double r = 1.0 / std::sqrt(2.0);
    const Mat2& p = pauli_matrix(axis);
    const Complex i(0, sign);
    return {r * (1.0 + i * p[0]), r * i * p[1], r * i * p[2], r * (1.0 + i * p[3])};
}

// The transcribed defining actions must describe the standard elements by their usual
// indices, or every table derived from them would be off.
TEST(CliffordReference, NamedElementsHaveTheirIndices) {
    EXPECT_EQ(vop_index_of(identity_matrix()), 0);
    EXPECT_EQ(vop_index_of(pauli_matrix(0)), 1);
    EXPECT_EQ(vop_index_of(pauli_matrix(1)), 2);
    EXPECT_EQ(vop_index_of(pauli_matrix(2)), 3);
    EXPECT_EQ(vop_index_of(hadamard_matrix()), 10);
    EXPECT_EQ(vop_index_of(phase_matrix()), 6);
    EXPECT_EQ(vop_index_of(phase_dagger_matrix()), 5);
    EXPECT_EQ(vop_index_of(sqrt_pauli(0, +1)), 14);
    EXPECT_EQ(vop_index_of(sqrt_pauli(0, -1)), 15);
    EXPECT_EQ(vop_index_of(sqrt_pauli(1, +1)), 11);
    EXPECT_EQ(vop_index_of(sqrt_pauli(1, -1)), 9);
    // The class representatives.
    const Mat2& y = pauli_matrix(1);
    EXPECT_EQ(vop_index_of(mat_mul(phase_matrix(), y)), 4);
    EXPECT_EQ(vop_index_of(mat_mul(hadamard_matrix(), y)), 8);
    EXPECT_EQ(vop_index_of(mat_mul(sqrt_pauli(0, +1), y)), 12);
    EXPECT_EQ(vop_index_of(mat_mul(hadamard_matrix(), phase_dagger_matrix())), 16);
    EXPECT_EQ(vop_index_of(mat_mul(phase_matrix(), hadamard_matrix())), 20);
}

TEST(CliffordReference, IndexIsClassTimesPauliPart) {
    std::set<int> seen;
    for (int v = 0; v < 24; ++v) {
        const int k = v / 4, p = v % 4;
        const Mat2 expected = p == 0 ? vop_matrix(4 * k) : mat_mul(vop_matrix(4 * k), pauli_matrix(p - 1));
        EXPECT_TRUE(same_up_to_phase(expected, vop_matrix(v))) << "v = " << v;
        EXPECT_EQ(vop_index_of(vop_matrix(v)), v);
        seen.insert(vop_index_of(vop_matrix(v)));
    }
    EXPECT_EQ(seen.size(), 24u);
}

TEST(CliffordTables, MultTableMatchesMatrixProducts) {
    for (int a = 0; a < 24; ++a)
        for (int b = 0; b < 24; ++b) EXPECT_EQ(+MULT_TABLE[a][b], +ref_mult(a, b)) << "a = " << a << ", b = " << b;
}

TEST(CliffordTables, AdjointTableMatchesMatrixInverses) {
    for (int v = 0; v < 24; ++v) {
        EXPECT_EQ(+ADJOINT_TABLE[v], +ref_adjoint(v)) << "v = " << v;
        EXPECT_TRUE(same_up_to_phase(mat_mul(vop_matrix(v), vop_matrix(ADJOINT_TABLE[v])), identity_matrix()));
    }
}

TEST(CliffordTables, ConjugationAxesMatchMatrices) {
    for (int v = 0; v < 24; ++v) {
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(+CONJ_AXIS_TABLE[a][v], conjugate(vop_matrix(v), a).axis) << "v = " << v << ", axis " << a;
        // v^dagger X v: the axis that v carries onto X.
        EXPECT_EQ(+X_PREIMAGE_TABLE[v], conjugate(mat_adjoint(vop_matrix(v)), 0).axis) << "v = " << v;
    }
}

TEST(CliffordTables, ConjugateAxisSignRuleMatchesMatricesInAll72Cases) {
    for (int v = 0; v < 24; ++v)
        for (std::uint8_t a = 0; a < 3; ++a) {
            const SignedAxis want = conjugate(vop_matrix(v), a);
            const ConjugatedAxis got = conjugate_axis(static_cast<Vop>(v), a);
            EXPECT_EQ(+got.axis, want.axis) << "v = " << v << ", axis " << +a;
            EXPECT_EQ(got.negated, want.negated) << "v = " << v << ", axis " << +a;
        }
}

TEST(CliffordTables, NamedConstantsAndDiagonalTest) {
    EXPECT_EQ(VOP_I, vop_index_of(identity_matrix()));
    EXPECT_EQ(VOP_X, vop_index_of(pauli_matrix(0)));
    EXPECT_EQ(VOP_Y, vop_index_of(pauli_matrix(1)));
    EXPECT_EQ(VOP_Z, vop_index_of(pauli_matrix(2)));
    EXPECT_EQ(VOP_S, vop_index_of(phase_matrix()));
    EXPECT_EQ(VOP_SDAG, vop_index_of(phase_dagger_matrix()));
    EXPECT_EQ(VOP_H, vop_index_of(hadamard_matrix()));
    EXPECT_EQ(VOP_SQRT_PLUS_IX, vop_index_of(sqrt_pauli(0, +1)));
    EXPECT_EQ(VOP_SQRT_PLUS_IY, vop_index_of(sqrt_pauli(1, +1)));
    EXPECT_EQ(VOP_SQRT_MINUS_IY, vop_index_of(sqrt_pauli(1, -1)));
    // Diagonal up to phase means commuting with controlled-Z.
    for (int v = 0; v < 24; ++v) {
        const Mat2& m = vop_matrix(v);
        const bool diagonal = std::abs(m[1]) < 1e-9 && std::abs(m[2]) < 1e-9;
        EXPECT_EQ(is_diagonal(static_cast<Vop>(v)), diagonal) << "v = " << v;
    }
}

// Each step code stands for a fixed right factor: 0 for (I + iX)/sqrt2, 1 for S. The
// factors of entry v must undo v.
TEST(CliffordTables, DecompositionFactorsMultiplyToTheInverse) {
    for (int v = 0; v < 24; ++v) {
        const Decomposition& d = DECOMPOSITION_TABLE[v];
        ASSERT_GE(d.length, 1) << "v = " << v;
        ASSERT_LE(d.length, 5) << "v = " << v;
        Mat2 m = vop_matrix(v);
        for (int i = 0; i < d.length; ++i) {
            ASSERT_LE(d.steps[i], 1) << "v = " << v;
            m = mat_mul(m, d.steps[i] == 0 ? sqrt_pauli(0, +1) : phase_matrix());
        }
        EXPECT_TRUE(same_up_to_phase(m, identity_matrix())) << "v = " << v << " leaves " << describe_matrix(m);
    }
}

}  // namespace
}  // namespace korvane_test
