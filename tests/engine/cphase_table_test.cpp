// Every CPHASE_TABLE entry is checked against the state vector wherever the table
// promises an exact controlled-Z, so a wrong byte anywhere fails.
#include <gtest/gtest.h>

#include <random>

#include "cphase_table.hpp"
#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

bool diagonal_matrix(int v) { return std::abs(vop_matrix(v)[1]) < 1e-9 && std::abs(vop_matrix(v)[2]) < 1e-9; }

// Qubits a = 0 and b = 1, plus whatever the caller put on the other qubits.
testing::AssertionResult EntryIsExact(Simulator sim, int e, int va, int vb) {
    if (e)
        sim.add_edge(0, 1);
    else
        sim.remove_edge(0, 1);
    sim.set_vop(0, static_cast<Vop>(va));
    sim.set_vop(1, static_cast<Vop>(vb));
    StateVector want = represented_state(sim);
    want.apply_cz(0, 1);

    const CphaseEntry& entry = CPHASE_TABLE[e][va][vb];
    if (entry.edge > 1 || entry.vop_a > 23 || entry.vop_b > 23)
        return testing::AssertionFailure() << "entry out of range";
    if (entry.edge)
        sim.add_edge(0, 1);
    else
        sim.remove_edge(0, 1);
    sim.set_vop(0, entry.vop_a);
    sim.set_vop(1, entry.vop_b);
    return SameState(want, represented_state(sim));
}

TEST(CphaseTable, EveryEntryIsExactWithoutOutsideNeighbours) {
    const Simulator two(2);
    for (int e = 0; e < 2; ++e)
        for (int va = 0; va < 24; ++va)
            for (int vb = 0; vb < 24; ++vb)
                EXPECT_TRUE(EntryIsExact(two, e, va, vb)) << "entry (" << e << ", " << va << ", " << vb << ")";
}

// Outside neighbours c = 2 and d = 3 in every arrangement, with assorted VOPs on them. An
// operand with an outside neighbour must carry a diagonal VOP for the table to be exact.
TEST(CphaseTable, EntriesAreExactWithOutsideNeighboursOfDiagonalOperands) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> vop(0, 23);
    // Edges that may exist besides {a, b}: a-c, a-d, b-c, b-d, c-d.
    const std::array<std::pair<int, int>, 5> optional_edges{{{0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}};
    std::array<std::array<int, 24>, 2> checked_a{}, checked_b{};
    for (int mask = 0; mask < 32; ++mask) {
        for (int trial = 0; trial < 2; ++trial) {
            Simulator base(4);
            for (int i = 0; i < 5; ++i)
                if (mask >> i & 1) base.add_edge(optional_edges[i].first, optional_edges[i].second);
            base.set_vop(2, static_cast<Vop>(vop(rng)));
            base.set_vop(3, static_cast<Vop>(vop(rng)));
            const bool a_outside = !base.is_isolated(0);
            const bool b_outside = !base.is_isolated(1);
            if (!a_outside && !b_outside) continue;
            for (int e = 0; e < 2; ++e)
                for (int va = 0; va < 24; ++va)
                    for (int vb = 0; vb < 24; ++vb) {
                        if ((a_outside && !diagonal_matrix(va)) || (b_outside && !diagonal_matrix(vb))) continue;
                        EXPECT_TRUE(EntryIsExact(base, e, va, vb))
                            << "entry (" << e << ", " << va << ", " << vb << "), outside edges mask " << mask;
                        if (a_outside) ++checked_a[e][vb];
                        if (b_outside) ++checked_b[e][va];
                    }
        }
    }
    // Every promised entry was reached: each column with a diagonal, neighboured a, and
    // each row with a diagonal, neighboured b.
    for (int e = 0; e < 2; ++e)
        for (int v = 0; v < 24; ++v) {
            EXPECT_GT(checked_a[e][v], 0) << e << ", " << v;
            EXPECT_GT(checked_b[e][v], 0) << e << ", " << v;
        }
}

}  // namespace
}  // namespace korvane_test
