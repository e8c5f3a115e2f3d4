// A dense state-vector simulator for a handful of qubits: the ground truth the graph-state
// engine is compared with. Qubit q is bit q of a basis-state index.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "clifford_reference.hpp"

namespace korvane_test {

class StateVector {
public:
    // |0...0> on `qubits` qubits.
    explicit StateVector(int qubits);
    // |+...+>.
    static StateVector plus_state(int qubits);

    int qubits() const { return qubits_; }
    const std::vector<Complex>& amplitudes() const { return amp_; }

    void apply(int q, const Mat2& u);
    void apply_cz(int a, int b);
    // Applies P_target_axis to `target` on the part of the state where `control` is in the
    // -1 eigenspace of P_control_axis: (I+Pc)/2 (x) I + (I-Pc)/2 (x) Pt.
    void apply_controlled_pauli(int control_axis, int control, int target_axis, int target);

    // Probability that measuring P_axis on q gives +1 (result 0) or -1 (result 1).
    double probability(int q, int axis, int result) const;
    // Projects onto that eigenvalue and renormalises; the probability must be non-zero.
    void project(int q, int axis, int result);

    // True when the state is a product of a state on `part` and one on the other qubits.
    bool is_product_across(const std::vector<int>& part) const;

private:
    StateVector(int qubits, std::vector<Complex> amp) : qubits_(qubits), amp_(std::move(amp)) {}
    void project_unnormalised(int q, int axis, int result);

    int qubits_;
    std::vector<Complex> amp_;
};

// Equality up to a global phase, for normalised states.
testing::AssertionResult SameState(const StateVector& expected, const StateVector& actual);

}  // namespace korvane_test
