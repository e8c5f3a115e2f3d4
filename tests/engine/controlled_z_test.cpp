// Controlled-Z against the oracle from arbitrary representations, operand order, and its
// failure messages.
#include <gtest/gtest.h>

#include <random>

#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

// Symmetric, loop-free, in range, VOPs below 24.
testing::AssertionResult RepresentationIsWellFormed(const Simulator& sim) {
    for (std::size_t a = 0; a < sim.size(); ++a) {
        if (sim.vop(a) >= 24) return testing::AssertionFailure() << "VOP of " << a << " is " << +sim.vop(a);
        for (Qubit b : sim.neighbours(a).members()) {
            if (b >= sim.size() || b == a || !sim.has_edge(b, a))
                return testing::AssertionFailure() << "bad edge " << a << " -> " << b;
        }
    }
    return testing::AssertionSuccess();
}

// Before the last gate qubit 3 has no outside neighbour and a non-diagonal VOP; reducing
// qubit 0 joins qubit 3 to qubits 1 and 2, so qubit 3 must be reduced as well.
TEST(ControlledZ, ReductionThatGivesTheOtherOperandOutsideNeighbours) {
    Simulator sim(4);
    StateVector psi(4);
    for (std::size_t q = 0; q < 4; ++q) {
        sim.h(q);
        psi.apply(static_cast<int>(q), hadamard_matrix());
    }
    for (std::size_t q = 1; q < 4; ++q) {
        sim.cz(0, q);
        psi.apply_cz(0, static_cast<int>(q));
    }
    sim.x(3);
    psi.apply(3, pauli_matrix(0));
    sim.h(0);
    psi.apply(0, hadamard_matrix());
    ASSERT_TRUE(SameState(psi, represented_state(sim)));
    sim.cz(3, 0);
    psi.apply_cz(3, 0);
    EXPECT_TRUE(SameState(psi, represented_state(sim)));
    EXPECT_TRUE(RepresentationIsWellFormed(sim));
}

// Every ordered pair of every random representation, both operand orders.
TEST(ControlledZ, MatchesTheOracleFromRandomRepresentations) {
    std::mt19937 rng(31);
    for (int trial = 0; trial < 600; ++trial) {
        const std::size_t n = 2 + static_cast<std::size_t>(trial % 6);
        const Simulator base = random_representation(n, 0.15 * (1 + trial % 6), rng);
        const StateVector before = represented_state(base);
        for (std::size_t a = 0; a < n; ++a)
            for (std::size_t b = 0; b < n; ++b) {
                if (a == b) continue;
                StateVector want = before;
                want.apply_cz(static_cast<int>(a), static_cast<int>(b));
                Simulator sim = base;
                sim.cz(a, b);
                ASSERT_TRUE(SameState(want, represented_state(sim))) << "trial " << trial << ", cz(" << a << ", " << b << ")";
                ASSERT_TRUE(RepresentationIsWellFormed(sim));
            }
    }
}

TEST(ControlledZ, KeepsLargeRepresentationsWellFormed) {
    std::mt19937 rng(32);
    for (std::size_t n : {63u, 64u, 65u, 129u}) {
        Simulator sim = random_representation(n, 0.2, rng);
        std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
        for (int i = 0; i < 200; ++i) {
            const std::size_t a = qubit(rng), b = qubit(rng);
            if (a != b) sim.cz(a, b);
        }
        EXPECT_TRUE(RepresentationIsWellFormed(sim)) << "n = " << n;
    }
}

// Representations the gate is bound to: diagonal operands without outside neighbours only
// toggle the edge, and an operand with outside neighbours is reduced even when diagonal.
TEST(ControlledZ, RepresentationFollowsTheReductionRules) {
    Simulator fresh(2);
    fresh.cz(0, 1);
    EXPECT_EQ(fresh, Simulator(2)) << "controlled-Z on |00> leaves the representation alone";

    for (Vop va : {0, 3, 5, 6})
        for (Vop vb : {0, 3, 5, 6})
            for (bool edge : {false, true}) {
                Simulator sim(2);
                if (edge) sim.add_edge(0, 1);
                sim.set_vop(0, va);
                sim.set_vop(1, vb);
                sim.cz(0, 1);
                EXPECT_EQ(sim.has_edge(0, 1), !edge) << +va << ", " << +vb;
                EXPECT_EQ(sim.vop(0), va);
                EXPECT_EQ(sim.vop(1), vb);
            }

    // Operand `z` carries Z and has the outside neighbour 2, which has the further
    // neighbour 3; the other operand is |+>. Reducing `z` complements twice at 2: the graph
    // stays, `z` gets VOP 0, 2 gains X and 3 gains Z; then the edge is toggled.
    for (bool z_first : {true, false}) {
        std::mt19937 rng(34);
        Simulator sim = random_representation(4, 0.0, rng);
        const std::size_t z = z_first ? 0 : 1, plus = 1 - z;
        sim.set_vop(z, 3);
        sim.set_vop(plus, 0);
        sim.add_edge(z, 2);
        sim.add_edge(2, 3);
        Simulator want = sim;
        want.set_vop(z, 0);
        want.set_vop(2, ref_mult(sim.vop(2), 1));
        want.set_vop(3, ref_mult(sim.vop(3), 3));
        want.add_edge(0, 1);
        sim.cz(0, 1);
        EXPECT_TRUE(SameRepresentation(want, sim)) << (z_first ? "first" : "second") << " operand reduced";
    }
}

TEST(ControlledZ, FailuresChangeNothing) {
    std::mt19937 rng(33);
    Simulator sim = random_representation(5, 0.5, rng);
    const Simulator before = sim;
    EXPECT_EQ(error_of([&] { sim.cz(3, 3); }),
              "assertion `left != right` failed: Same control and target not allowed\n  left: 3\n right: 3");
    EXPECT_EQ(error_of([&] { sim.cz(0, 5); }), index_message(5, 5));
    EXPECT_EQ(error_of([&] { sim.cz(5, 0); }), index_message(5, 5));
    // The equality test comes before the range test, and a is checked before b.
    EXPECT_EQ(error_of([&] { sim.cz(5, 5); }), equal_operands_message(5));
    EXPECT_EQ(error_of([&] { sim.cz(7, 6); }), index_message(5, 7));
    EXPECT_EQ(error_of([&] { sim.cz(6, 7); }), index_message(5, 6));
    EXPECT_EQ(sim, before);
}

}  // namespace
}  // namespace korvane_test
