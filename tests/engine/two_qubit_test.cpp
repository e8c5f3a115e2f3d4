// The nine two-qubit gates against their definition as controlled Paulis, in long random
// circuits, and what each leaves behind when one of its checks fails.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

const TwoQubitKind& kind_named(const std::string& name) {
    for (const auto& k : two_qubit_kinds())
        if (name == k.name) return k;
    throw std::invalid_argument(name);
}

TEST(TwoQubitGates, EachMatchesItsControlledPauliOnRandomStates) {
    std::mt19937 rng(41);
    for (int trial = 0; trial < 150; ++trial) {
        const std::size_t n = 2 + static_cast<std::size_t>(trial % 5);
        const Simulator base = random_representation(n, 0.4, rng);
        const StateVector before = represented_state(base);
        for (const auto& k : two_qubit_kinds())
            for (std::size_t c = 0; c < n; ++c)
                for (std::size_t t = 0; t < n; ++t) {
                    if (c == t) continue;
                    Simulator sim = base;
                    apply_two_qubit(sim, k, c, t);
                    StateVector want = before;
                    want.apply_controlled_pauli(k.control_axis, static_cast<int>(c), k.target_axis, static_cast<int>(t));
                    ASSERT_TRUE(SameState(want, represented_state(sim)))
                        << "trial " << trial << ": " << k.name << "(" << c << ", " << t << ")";
                }
    }
}

// Thousands of seeded circuits from |0...0>, compared after every gate.
TEST(TwoQubitGates, RandomCircuitsMatchTheOracleAfterEveryGate) {
    for (std::uint32_t seed = 0; seed < 3000; ++seed) {
        std::mt19937 rng(seed);
        const int n = 1 + static_cast<int>(seed % 6);
        Simulator sim(static_cast<std::size_t>(n));
        StateVector psi(n);
        std::string history;
        for (int step = 0; step < 30; ++step) {
            history += apply_random_gate(sim, &psi, rng) + " ";
            ASSERT_TRUE(SameState(psi, represented_state(sim))) << "seed " << seed << ": " << history;
        }
    }
}

// These pairs are the same step sequence with the arguments exchanged.
TEST(TwoQubitGates, MirroredGatesLeaveTheSameRepresentation) {
    std::mt19937 rng(42);
    const std::array<std::pair<TwoQubitGate, TwoQubitGate>, 3> mirrors{{
        {TwoQubitGate::xcz, TwoQubitGate::cx},
        {TwoQubitGate::ycz, TwoQubitGate::cy},
        {TwoQubitGate::xcy, TwoQubitGate::ycx},
    }};
    for (int trial = 0; trial < 200; ++trial) {
        const std::size_t n = 2 + static_cast<std::size_t>(trial % 6);
        const Simulator base = random_representation(n, 0.4, rng);
        std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
        const std::size_t c = qubit(rng);
        std::size_t t = qubit(rng);
        while (t == c) t = qubit(rng);
        for (auto [g, mirror] : mirrors) {
            Simulator one = base, other = base;
            one.two_qubit(g, c, t);
            other.two_qubit(mirror, t, c);
            EXPECT_EQ(one, other) << "trial " << trial;
        }
    }
}

// What stays applied on the valid qubit when a check fails; checks and updates run in a
// fixed order and nothing is undone.
struct FailureCase {
    const char* gate;
    char first_checked;     // 'c' or 't'
    Mat2 left_on_target;    // control out of range
    Mat2 left_on_control;   // target out of range
    Mat2 left_when_equal;   // control == target, in range
};

std::vector<FailureCase> failure_cases() {
    const Mat2 i = identity_matrix(), h = hadamard_matrix(), sd = phase_dagger_matrix();
    const Mat2 h_sd = mat_mul(h, sd);  // S^dagger, then H
    return {
        {"cz", 'c', i, i, i},
        {"cx", 't', h, i, h},
        {"cy", 't', h_sd, i, h_sd},
        {"xcx", 'c', i, h, i},
        {"xcy", 't', h_sd, i, sd},
        {"xcz", 'c', i, h, h},
        {"ycx", 'c', i, h_sd, sd},
        {"ycy", 't', sd, i, pauli_matrix(2)},
        {"ycz", 'c', i, h_sd, h_sd},
    };
}

Simulator with_gate_on(Simulator sim, std::size_t q, const Mat2& m) {
    sim.set_vop(q, static_cast<Vop>(vop_index_of(mat_mul(m, vop_matrix(sim.vop(q))))));
    return sim;
}

TEST(TwoQubitGates, FailedChecksLeaveEarlierUpdatesApplied) {
    std::mt19937 rng(43);
    const std::size_t n = 4;
    const Simulator base = random_representation(n, 0.6, rng);
    for (const FailureCase& fc : failure_cases()) {
        const TwoQubitKind& k = kind_named(fc.gate);
        const std::size_t valid = 1;
        {
            Simulator sim = base;
            EXPECT_EQ(error_of([&] { apply_two_qubit(sim, k, n + 2, valid); }), index_message(n, n + 2)) << fc.gate;
            EXPECT_EQ(sim, with_gate_on(base, valid, fc.left_on_target)) << fc.gate << " with control out of range";
        }
        {
            Simulator sim = base;
            EXPECT_EQ(error_of([&] { apply_two_qubit(sim, k, valid, n + 2); }), index_message(n, n + 2)) << fc.gate;
            EXPECT_EQ(sim, with_gate_on(base, valid, fc.left_on_control)) << fc.gate << " with target out of range";
        }
        {
            Simulator sim = base;
            EXPECT_EQ(error_of([&] { apply_two_qubit(sim, k, valid, valid); }), equal_operands_message(valid))
                << fc.gate;
            EXPECT_EQ(sim, with_gate_on(base, valid, fc.left_when_equal)) << fc.gate << " with equal operands";
        }
        {
            // Both out of range: the first check of the gate names its index, and nothing changes.
            Simulator sim = base;
            const std::size_t first = fc.first_checked == 'c' ? n + 1 : n + 2;
            EXPECT_EQ(error_of([&] { apply_two_qubit(sim, k, n + 1, n + 2); }), index_message(n, first)) << fc.gate;
            EXPECT_EQ(sim, base) << fc.gate;
            // Equal and out of range: the gate's own range check precedes the equality test of cz.
            const std::string equal_out = k.is_cz ? equal_operands_message(n) : index_message(n, n);
            EXPECT_EQ(error_of([&] { apply_two_qubit(sim, k, n, n); }), equal_out) << fc.gate;
            EXPECT_EQ(sim, base) << fc.gate;
        }
    }
}

}  // namespace
}  // namespace korvane_test
