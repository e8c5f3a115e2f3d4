#include "oracle.hpp"

#include <cmath>
#include <cstddef>
#include <sstream>
#include <stdexcept>

namespace korvane_test {

namespace {

constexpr double kTol = 1e-9;

}  // namespace

StateVector::StateVector(int qubits) : qubits_(qubits), amp_(std::size_t{1} << qubits, 0.0) {
    if (qubits < 0 || qubits > 12) throw std::invalid_argument("oracle qubit count");
    amp_[0] = 1.0;
}

StateVector StateVector::plus_state(int qubits) {
    StateVector s(qubits);
    for (int q = 0; q < qubits; ++q) s.apply(q, hadamard_matrix());
    return s;
}

void StateVector::apply(int q, const Mat2& u) {
    const std::size_t bit = std::size_t{1} << q;
    for (std::size_t i = 0; i < amp_.size(); ++i) {
        if (i & bit) continue;
        const Complex a0 = amp_[i], a1 = amp_[i | bit];
        amp_[i] = u[0] * a0 + u[1] * a1;
        amp_[i | bit] = u[2] * a0 + u[3] * a1;
    }
}

void StateVector::apply_cz(int a, int b) {
    const std::size_t mask = (std::size_t{1} << a) | (std::size_t{1} << b);
    for (std::size_t i = 0; i < amp_.size(); ++i)
        if ((i & mask) == mask) amp_[i] = -amp_[i];
}

void StateVector::project_unnormalised(int q, int axis, int result) {
    // (I + sign * P) / 2
    const double sign = result == 0 ? 1.0 : -1.0;
    const Mat2& p = pauli_matrix(axis);
    const Mat2 proj{(1.0 + sign * p[0]) / 2.0, sign * p[1] / 2.0, sign * p[2] / 2.0, (1.0 + sign * p[3]) / 2.0};
    apply(q, proj);
}

void StateVector::apply_controlled_pauli(int control_axis, int control, int target_axis, int target) {
    StateVector plus = *this;
    plus.project_unnormalised(control, control_axis, 0);
    StateVector minus = *this;
    minus.project_unnormalised(control, control_axis, 1);
    minus.apply(target, pauli_matrix(target_axis));
    for (std::size_t i = 0; i < amp_.size(); ++i) amp_[i] = plus.amp_[i] + minus.amp_[i];
}

double StateVector::probability(int q, int axis, int result) const {
    StateVector p = *this;
    p.project_unnormalised(q, axis, result);
    double sum = 0;
    for (const Complex& a : p.amp_) sum += std::norm(a);
    return sum;
}

void StateVector::project(int q, int axis, int result) {
    project_unnormalised(q, axis, result);
    double sum = 0;
    for (const Complex& a : amp_) sum += std::norm(a);
    if (sum < kTol) throw std::logic_error("projection onto an impossible outcome");
    const double scale = 1.0 / std::sqrt(sum);
    for (Complex& a : amp_) a *= scale;
}

bool StateVector::is_product_across(const std::vector<int>& part) const {
    std::size_t part_mask = 0;
    for (int q : part) part_mask |= std::size_t{1} << q;
    // As a matrix with rows indexed by the bits in `part` and columns by the others, the
    // state is a product exactly when that matrix has rank one.
    std::size_t pivot = 0;
    for (std::size_t i = 1; i < amp_.size(); ++i)
        if (std::abs(amp_[i]) > std::abs(amp_[pivot])) pivot = i;
    const std::size_t pr = pivot & part_mask, pc = pivot & ~part_mask;
    for (std::size_t i = 0; i < amp_.size(); ++i) {
        const std::size_t r = i & part_mask, c = i & ~part_mask;
        const Complex lhs = amp_[i] * amp_[pivot];
        const Complex rhs = amp_[r | pc] * amp_[pr | c];
        if (std::abs(lhs - rhs) > kTol) return false;
    }
    return true;
}

testing::AssertionResult SameState(const StateVector& expected, const StateVector& actual) {
    if (expected.qubits() != actual.qubits())
        return testing::AssertionFailure() << "qubit counts differ: " << expected.qubits() << " vs "
                                           << actual.qubits();
    const auto& e = expected.amplitudes();
    const auto& a = actual.amplitudes();
    std::size_t big = 0;
    for (std::size_t i = 1; i < e.size(); ++i)
        if (std::abs(e[i]) > std::abs(e[big])) big = i;
    bool ok = std::abs(a[big]) > kTol;
    const Complex phase = ok ? a[big] / e[big] : Complex(1.0);
    ok = ok && std::abs(std::abs(phase) - 1.0) < kTol;
    for (std::size_t i = 0; ok && i < e.size(); ++i) ok = std::abs(e[i] * phase - a[i]) < kTol;
    if (ok) return testing::AssertionSuccess();
    std::ostringstream out;
    out << "states differ beyond a global phase\n index: expected | actual\n";
    for (std::size_t i = 0; i < e.size(); ++i)
        if (std::abs(e[i]) > kTol || std::abs(a[i]) > kTol) out << "  " << i << ": " << e[i] << " | " << a[i] << "\n";
    return testing::AssertionFailure() << out.str();
}

}  // namespace korvane_test
