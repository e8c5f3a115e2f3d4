// An independent model of the 24-element local Clifford group: explicit 2x2 complex
// matrices, each VOP index identified only by how its matrix conjugates X, Y and Z.
// Every group table the tests compare against is computed from these matrices.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <string>

namespace korvane_test {

using Complex = std::complex<double>;
using Mat2 = std::array<Complex, 4>;  // row-major: {m00, m01, m10, m11}

Mat2 mat_mul(const Mat2& a, const Mat2& b);
Mat2 mat_adjoint(const Mat2& a);
bool same_up_to_phase(const Mat2& a, const Mat2& b);

const Mat2& identity_matrix();
const Mat2& pauli_matrix(int axis);  // 0 X, 1 Y, 2 Z
const Mat2& hadamard_matrix();
const Mat2& phase_matrix();  // S = diag(1, i)
Mat2 phase_dagger_matrix();

// A Pauli axis with a sign; axis -1 when an operator is not a signed Pauli.
struct SignedAxis {
    int axis;
    bool negated;
    friend bool operator==(const SignedAxis&, const SignedAxis&) = default;
};

// u * P_axis * u^dagger.
SignedAxis conjugate(const Mat2& u, int axis);

// The defining images of X, Y and Z under each VOP index.
const std::array<std::array<SignedAxis, 3>, 24>& defining_images();

// The matrix of VOP index v (up to phase), found by closing {H, S} under products and
// picking the element whose conjugation action is the defining one of v.
const Mat2& vop_matrix(int v);

// The VOP index of a single-qubit Clifford matrix (by its action), -1 if it is none.
int vop_index_of(const Mat2& m);

// Group operations computed from the matrices.
std::uint8_t ref_mult(int a, int b);  // a*b, b acting first
std::uint8_t ref_adjoint(int v);

std::string describe_matrix(const Mat2& m);

}  // namespace korvane_test
