// Measurement against the oracle's projections, its invariants, how the raw bit is taken
// from a drawn value, and a literal reference of the three graph rules on large graphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

constexpr double kTol = 1e-9;

// One measurement of (q, axis) from `before` with the raw bit forced; checks it against the
// oracle and the post-measurement invariants. Returns the result, sets `drew`.
int check_measurement(const Simulator& before, std::size_t q, int axis, int bit, bool& drew) {
    const StateVector psi = represented_state(before);
    Simulator after = before;
    ForcedBitSource src(bit, static_cast<std::uint32_t>(q * 7 + static_cast<std::size_t>(axis)));
    const int result = after.measure(q, static_cast<std::uint8_t>(axis), src);
    const std::string where = "qubit " + std::to_string(q) + ", axis " + std::to_string(axis) + ", bit " + std::to_string(bit);
    EXPECT_TRUE(result == 0 || result == 1) << where;
    EXPECT_LE(src.draws(), 1u) << where;
    drew = src.draws() == 1;
    const double p = psi.probability(static_cast<int>(q), axis, result);
    if (drew) {
        EXPECT_NEAR(p, 0.5, kTol) << where;
        StateVector projected = psi;
        projected.project(static_cast<int>(q), axis, result);
        EXPECT_TRUE(SameState(projected, represented_state(after))) << where;
    } else {
        EXPECT_NEAR(p, 1.0, kTol) << where;
        EXPECT_EQ(after, before) << where << ": a certain outcome must not change the state";
    }
    EXPECT_TRUE(after.is_isolated(q)) << where;
    // Repeating it is certain, draws nothing and changes nothing.
    Simulator again = after;
    ScriptedSource none{};
    EXPECT_EQ(again.measure(q, static_cast<std::uint8_t>(axis), none), result) << where;
    EXPECT_EQ(none.draws(), 0u) << where;
    EXPECT_EQ(again, after) << where;
    return result;
}

// Every qubit along every axis with both forced raw bits, from random circuits and from
// random representations.
TEST(Measurement, EveryAxisAndRawBitMatchesTheOracleProjection) {
    for (std::uint32_t seed = 0; seed < 600; ++seed) {
        std::mt19937 rng(seed);
        const std::size_t n = 1 + seed % 6;
        Simulator sim(n);
        if (seed % 2 == 0) {
            for (int i = 0; i < 25; ++i) apply_random_gate(sim, nullptr, rng);
        } else {
            sim = random_representation(n, 0.1 * static_cast<double>(seed % 8), rng);
        }
        for (std::size_t q = 0; q < n; ++q)
            for (int axis = 0; axis < 3; ++axis) {
                bool drew0 = false, drew1 = false;
                const int r0 = check_measurement(sim, q, axis, 0, drew0);
                const int r1 = check_measurement(sim, q, axis, 1, drew1);
                ASSERT_FALSE(HasFailure()) << "seed " << seed << ", qubit " << q << ", axis " << axis;
                EXPECT_EQ(drew0, drew1);
                // A random outcome follows the raw bit; a certain one ignores it.
                if (drew0) {
                    EXPECT_NE(r0, r1);
                } else {
                    EXPECT_EQ(r0, r1);
                }
            }
    }
}

// Measurements interleaved with gates; the oracle follows the reported outcomes.
TEST(Measurement, CircuitsWithMeasurementsFollowTheOracle) {
    for (std::uint32_t seed = 0; seed < 1500; ++seed) {
        std::mt19937 rng(1000 + seed);
        const int n = 1 + static_cast<int>(seed % 6);
        Simulator sim(static_cast<std::size_t>(n));
        StateVector psi(n);
        for (int step = 0; step < 30; ++step) {
            if (std::bernoulli_distribution(0.3)(rng)) {
                const std::size_t q = std::uniform_int_distribution<std::size_t>(0, sim.size() - 1)(rng);
                const int axis = std::uniform_int_distribution<int>(0, 2)(rng);
                const int bit = static_cast<int>(rng() & 1);
                ForcedBitSource src(bit, static_cast<std::uint32_t>(rng()));
                const int result = sim.measure(q, static_cast<std::uint8_t>(axis), src);
                const double p = psi.probability(static_cast<int>(q), axis, result);
                ASSERT_NEAR(p, src.draws() ? 0.5 : 1.0, kTol) << "seed " << seed << ", step " << step;
                psi.project(static_cast<int>(q), axis, result);
            } else {
                apply_random_gate(sim, &psi, rng);
            }
            ASSERT_TRUE(SameState(psi, represented_state(sim))) << "seed " << seed << ", step " << step;
        }
    }
}

TEST(Measurement, RawBitIsTheMostSignificantBitOfTheDrawnValue) {
    // A fresh qubit measured along X: a random outcome whose result is the raw bit.
    for (auto [value, bit] : {std::pair<std::uint32_t, int>{0u, 0}, {0x7fffffffu, 0}, {0x80000000u, 1}, {0xffffffffu, 1}}) {
        Simulator sim(1);
        ScriptedSource src{value};
        EXPECT_EQ(sim.measure(0, 0, src), bit) << std::hex << value;
        EXPECT_EQ(src.draws(), 1u);
    }
}

TEST(Measurement, FreshQubitAlongZIsCertainPlusOne) {
    Simulator sim(3);
    const Simulator before = sim;
    ScriptedSource none{};
    for (std::size_t q = 0; q < 3; ++q) EXPECT_EQ(sim.measure(q, 2, none), 0);
    EXPECT_EQ(none.draws(), 0u);
    EXPECT_EQ(sim, before);
}

TEST(Measurement, OutOfRangeFailsBeforeDrawing) {
    std::mt19937 rng(51);
    Simulator sim = random_representation(4, 0.5, rng);
    const Simulator before = sim;
    ScriptedSource none{};
    for (std::uint8_t axis = 0; axis < 3; ++axis) EXPECT_EQ(error_of([&] { sim.measure(4, axis, none); }), index_message(4, 4));
    EXPECT_EQ(none.draws(), 0u);
    EXPECT_EQ(sim, before);
}

// ---- Literal reference of the graph rules ----

constexpr int kX = 1, kZ = 3, kSdag = 5, kS = 6, kSqrtMinusIY = 9, kH = 10, kSqrtPlusIY = 11;

struct RefState {
    RefGraph graph;
    std::vector<int> vops;
};

void right_multiply(RefState& s, std::size_t q, int factor) { s.vops[q] = ref_mult(s.vops[q], factor); }

// Returns the result bit; `drew` tells whether a raw bit was consumed.
int reference_measure(RefState& s, std::size_t node, int axis, int r, bool& drew) {
    const SignedAxis eff = conjugate(mat_adjoint(vop_matrix(s.vops[node])), axis);
    const std::vector<std::size_t> hood = s.graph.neighbours(node);
    drew = !(eff.axis == 0 && hood.empty());
    if (!drew) return eff.negated ? 1 : 0;
    if (eff.axis == 2) {
        for (std::size_t c : hood) {
            s.graph.remove(node, c);
            if (r) right_multiply(s, c, kZ);
        }
        if (r) right_multiply(s, node, kX);
        right_multiply(s, node, kH);
    } else if (eff.axis == 1) {
        const int factor = r ? kSdag : kS;
        for (std::size_t c : hood) right_multiply(s, c, factor);
        for (std::size_t i = 0; i < hood.size(); ++i) {
            for (std::size_t j = i + 1; j < hood.size(); ++j) s.graph.toggle(hood[i], hood[j]);
            s.graph.toggle(hood[i], node);
        }
        right_multiply(s, node, factor);
    } else {
        const std::size_t b = hood.front();
        const std::vector<std::size_t> hood_b = s.graph.neighbours(b);
        const std::set<std::size_t> in_n(hood.begin(), hood.end()), in_nb(hood_b.begin(), hood_b.end());
        if (r == 0) {
            right_multiply(s, b, kSqrtPlusIY);
            for (std::size_t c : hood)
                if (c != b && !in_nb.count(c)) right_multiply(s, c, kZ);
        } else {
            right_multiply(s, b, kSqrtMinusIY);
            right_multiply(s, node, kZ);
            for (std::size_t c : hood_b)
                if (c != node && !in_n.count(c)) right_multiply(s, c, kZ);
        }
        std::set<std::pair<std::size_t, std::size_t>> pairs;
        for (std::size_t c : hood)
            for (std::size_t d : hood_b)
                if (c != d) pairs.insert({std::min(c, d), std::max(c, d)});
        for (auto [c, d] : pairs) s.graph.toggle(c, d);
        std::vector<std::size_t> both;
        for (std::size_t c : hood)
            if (in_nb.count(c)) both.push_back(c);
        for (std::size_t i = 0; i < both.size(); ++i)
            for (std::size_t j = i + 1; j < both.size(); ++j) s.graph.toggle(both[i], both[j]);
        for (std::size_t d : hood)
            if (d != b) s.graph.toggle(b, d);
    }
    return (eff.negated ? 1 : 0) ^ r;
}

testing::AssertionResult SameRepresentation(const RefState& ref, const Simulator& sim) {
    for (std::size_t q = 0; q < sim.size(); ++q)
        if (sim.vop(q) != ref.vops[q])
            return testing::AssertionFailure() << "VOP of " << q << ": expected " << ref.vops[q] << ", got " << +sim.vop(q);
    return SameGraph(ref.graph, sim);
}

// The reference agrees with the oracle, so it is a trustworthy model for large graphs.
TEST(MeasurementReference, AgreesWithTheOracleOnSmallStates) {
    std::mt19937 rng(52);
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t n = 1 + static_cast<std::size_t>(trial % 6);
        const Simulator sim = random_representation(n, 0.5, rng);
        const StateVector psi = represented_state(sim);
        for (std::size_t q = 0; q < n; ++q)
            for (int axis = 0; axis < 3; ++axis)
                for (int r = 0; r < 2; ++r) {
                    RefState ref{RefGraph(sim), {}};
                    for (std::size_t i = 0; i < n; ++i) ref.vops.push_back(sim.vop(i));
                    bool drew = false;
                    const int result = reference_measure(ref, q, axis, r, drew);
                    Simulator rebuilt(n);
                    for (std::size_t a = 0; a < n; ++a) {
                        rebuilt.set_vop(a, static_cast<Vop>(ref.vops[a]));
                        for (std::size_t b : ref.graph.neighbours(a)) rebuilt.add_edge(a, b);
                    }
                    StateVector projected = psi;
                    ASSERT_GT(projected.probability(static_cast<int>(q), axis, result), kTol);
                    projected.project(static_cast<int>(q), axis, result);
                    ASSERT_TRUE(SameState(projected, represented_state(rebuilt)));
                }
    }
}

// The engine against the literal rules, bit for bit, on graphs whose neighbourhoods cross
// 64-bit word boundaries.
TEST(MeasurementReference, EngineMatchesTheLiteralRulesOnLargeGraphs) {
    std::mt19937 rng(53);
    int counts[3] = {0, 0, 0};
    for (RowLayout layout : kBothLayouts)
    for (std::size_t n : {6u, 63u, 64u, 65u, 127u, 128u, 129u, 200u, 300u, 1100u}) {
        for (double p : n > 500 ? std::vector<double>{0.02} : std::vector<double>{0.02, 0.1, 0.5}) {
            Simulator sim = random_representation(n, p, rng, layout);
            SCOPED_TRACE(layout_name(layout));
            RefState ref{RefGraph(sim), {}};
            for (std::size_t i = 0; i < n; ++i) ref.vops.push_back(sim.vop(i));
            std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
            for (int step = 0; step < 30; ++step) {
                std::size_t node = qubit(rng);
                for (int tries = 0; tries < 20 && sim.is_isolated(node); ++tries) node = qubit(rng);
                const int axis = std::uniform_int_distribution<int>(0, 2)(rng);
                const int r = static_cast<int>(rng() & 1);
                const SignedAxis eff = conjugate(mat_adjoint(vop_matrix(sim.vop(node))), axis);
                if (eff.axis >= 0 && !sim.is_isolated(node)) ++counts[eff.axis];
                bool drew = false;
                const int want = reference_measure(ref, node, axis, r, drew);
                ForcedBitSource src(r);
                const int got = sim.measure(node, static_cast<std::uint8_t>(axis), src);
                ASSERT_EQ(got, want) << "n = " << n << ", node " << node;
                ASSERT_EQ(src.draws(), drew ? 1u : 0u);
                ASSERT_TRUE(SameRepresentation(ref, sim)) << "n = " << n << ", p = " << p << ", node " << node
                                                          << ", axis " << axis << ", effective " << eff.axis << ", r " << r;
            }
        }
    }
    // Every rule was exercised on vertices with neighbours.
    for (int e = 0; e < 3; ++e) EXPECT_GT(counts[e], 50) << "effective axis " << e;
}

// Neighbourhoods chosen to sit across word boundaries, with the special neighbour beyond
// the first word, for every effective axis and raw bit.
TEST(MeasurementReference, EngineMatchesTheLiteralRulesAtWordBoundaries) {
    std::mt19937 rng(54);
    const std::vector<std::size_t> node_hood{64, 65, 127, 128, 191, 192};
    const std::vector<std::size_t> b_hood{0, 1, 63, 65, 128, 129, 150};
    for (int v = 0; v < 24; ++v)
        for (int axis = 0; axis < 3; ++axis)
            for (int r = 0; r < 2; ++r) {
                Simulator sim = random_representation(200, 0.05, rng, kBothLayouts[(v + axis + r) % 2]);
                const std::size_t node = 10;
                for (std::size_t q = 0; q < 200; ++q)
                    if (q != node) sim.remove_edge(node, q);
                for (std::size_t q : node_hood) sim.add_edge(node, q);
                for (std::size_t q : b_hood) sim.add_edge(64, q);
                sim.set_vop(node, static_cast<Vop>(v));
                RefState ref{RefGraph(sim), {}};
                for (std::size_t i = 0; i < 200; ++i) ref.vops.push_back(sim.vop(i));
                bool drew = false;
                const int want = reference_measure(ref, node, axis, r, drew);
                ForcedBitSource src(r);
                ASSERT_EQ(sim.measure(node, static_cast<std::uint8_t>(axis), src), want);
                ASSERT_TRUE(drew);
                ASSERT_TRUE(SameRepresentation(ref, sim)) << "v = " << v << ", axis " << axis << ", r " << r;
            }
}

}  // namespace
}  // namespace korvane_test
