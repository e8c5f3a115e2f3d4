// The engine against the literal engine where the differential fuzzer would need luck: every
// controlled-Z table entry and every decomposition sequence once, in both row layouts. A
// table entry replaced by another representation of the same state passes the state-vector
// checks; here it does not.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "literal_engine.hpp"
#include "test_support.hpp"

namespace korvane_test {
namespace {

testing::AssertionResult SameAsLiteral(const Simulator& sim, const LiteralEngine& lit) {
    for (std::size_t q = 0; q < lit.size(); ++q) {
        if (sim.vop(q) != lit.vop(q))
            return testing::AssertionFailure() << "VOP of " << q << " is " << +sim.vop(q) << ", literal " << +lit.vop(q);
        for (std::size_t b = 0; b < lit.size(); ++b)
            if (b != q && sim.has_edge(q, b) != lit.has_edge(q, b))
                return testing::AssertionFailure() << "edge " << q << "-" << b << " differs";
    }
    return testing::AssertionSuccess();
}

// Qubits 0 and 1 joined or not, with no other neighbours: the look-up sees exactly the VOPs set.
TEST(LiteralEngine, EveryControlledZEntryAgrees) {
    for (korvane::RowLayout layout : kBothLayouts)
        for (int e = 0; e < 2; ++e)
            for (int va = 0; va < 24; ++va)
                for (int vb = 0; vb < 24; ++vb) {
                    Simulator sim(3, layout);
                    LiteralEngine lit(3);
                    if (e) {
                        sim.add_edge(0, 1);
                        lit.edit_edge(0, 0, 1);
                    }
                    sim.set_vop(0, static_cast<korvane::Vop>(va));
                    sim.set_vop(1, static_cast<korvane::Vop>(vb));
                    lit.set_vop(0, static_cast<std::uint8_t>(va));
                    lit.set_vop(1, static_cast<std::uint8_t>(vb));
                    sim.cz(0, 1);
                    lit.cz(0, 1);
                    ASSERT_TRUE(SameAsLiteral(sim, lit))
                        << layout_name(layout) << ", entry (" << e << ", " << va << ", " << vb << ")";
                }
}

// A node with two neighbours that share a third, so each complementation sequence leaves
// its own mark on the VOPs and edges around it.
TEST(LiteralEngine, EveryDecompositionAgrees) {
    for (korvane::RowLayout layout : kBothLayouts)
        for (int v = 0; v < 24; ++v) {
            Simulator sim(5, layout);
            LiteralEngine lit(5);
            for (auto [a, b] : {std::pair{0, 1}, {0, 2}, {1, 3}, {2, 3}, {2, 4}}) {
                sim.add_edge(a, b);
                lit.edit_edge(0, a, b);
            }
            for (std::size_t q = 0; q < 5; ++q) {
                const auto w = static_cast<std::uint8_t>(q == 0 ? v : (7 * q + 3) % 24);
                sim.set_vop(q, w);
                lit.set_vop(q, w);
            }
            sim.remove_vop(0, 1);
            lit.remove_vop(0, 1);
            ASSERT_TRUE(SameAsLiteral(sim, lit)) << layout_name(layout) << ", VOP " << v;
        }
}

}  // namespace
}  // namespace korvane_test
