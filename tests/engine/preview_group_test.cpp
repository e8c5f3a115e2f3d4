// The measurement preview (state untouched, axis rule, draw protocol) and the entangled
// group query (connected components, product states across them).
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

constexpr double kTol = 1e-9;

Simulator random_small_state(std::uint32_t seed, std::mt19937& rng) {
    const std::size_t n = 1 + seed % 6;
    if (seed % 2 == 0) return random_representation(n, 0.1 * static_cast<double>(seed % 7), rng);
    Simulator sim(n);
    for (int i = 0; i < 20; ++i) apply_random_gate(sim, nullptr, rng);
    return sim;
}

TEST(Preview, LeavesTheStateExactlyUnchanged) {
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        std::mt19937 rng(seed);
        Simulator sim = seed % 10 == 0 ? random_representation(130, 0.1, rng, kBothLayouts[seed % 20 / 10])
                                       : random_small_state(seed, rng);
        std::vector<std::size_t> qubits(sim.size());
        std::iota(qubits.begin(), qubits.end(), 0);
        std::shuffle(qubits.begin(), qubits.end(), rng);
        const Simulator before = sim;
        RecordingSource src(seed);
        sim.peek_measure_set(qubits, src);
        EXPECT_EQ(sim, before) << "seed " << seed;
        EXPECT_TRUE(SameRepresentation(before, sim)) << "seed " << seed;
    }
}

// On large graphs the outcomes are those of measuring a real copy in the same order with
// the same values, and the previewed state comes back exactly, also when a member fails.
TEST(Preview, LargeGraphsMatchMeasuringACopyAndRestoreExactly) {
    std::mt19937 rng(62);
    for (std::size_t n : {65u, 129u, 300u, 1100u}) {
        for (double p : {0.01, 0.05, 0.3}) {
            Simulator sim = random_representation(n, p, rng);
            const Simulator before = sim;
            std::vector<std::size_t> qubits;
            for (std::size_t q = 0; q < n; ++q)
                if (rng() % 3 == 0) qubits.push_back(q);
            std::shuffle(qubits.begin(), qubits.end(), rng);
            RecordingSource src(static_cast<std::uint32_t>(n));
            const auto outcomes = sim.peek_measure_set(qubits, src);
            ASSERT_TRUE(SameRepresentation(before, sim)) << "n = " << n << ", p = " << p;

            ScriptedSource replay(src.drawn());
            Simulator copy = before;
            ASSERT_EQ(outcomes.size(), qubits.size());
            for (std::size_t i = 0; i < qubits.size(); ++i) {
                const std::size_t q = qubits[i];
                const std::uint8_t axis = copy.is_isolated(q) ? outcomes[i].axis : draw_below_3(replay);
                ASSERT_EQ(outcomes[i].axis, axis) << "n = " << n << ", member " << i;
                ASSERT_EQ(outcomes[i].result, copy.measure(q, axis, replay)) << "n = " << n << ", member " << i;
            }
            EXPECT_EQ(replay.draws(), src.drawn().size());

            // A failing member after many measurements: everything done so far is undone.
            std::vector<std::size_t> failing = qubits;
            failing.push_back(n);
            RecordingSource src2(7);
            EXPECT_EQ(error_of([&] { sim.peek_measure_set(failing, src2); }), index_message(n, n));
            EXPECT_TRUE(SameRepresentation(before, sim)) << "n = " << n << ", p = " << p;
        }
    }
}

TEST(Preview, OutOfRangeMemberFailsAndChangesNothing) {
    std::mt19937 rng(61);
    Simulator sim = random_representation(4, 0.6, rng);
    const Simulator before = sim;
    RecordingSource src(1);
    EXPECT_EQ(error_of([&] { sim.peek_measure_set({0, 1, 4, 2}, src); }), index_message(4, 4));
    EXPECT_EQ(sim, before);
    EXPECT_TRUE(SameRepresentation(before, sim));
}

TEST(Preview, FreshQubitsAreCertainZPlusOneWithoutDraws) {
    Simulator sim(5);
    ScriptedSource none{};
    const auto outcomes = sim.peek_measure_set({3, 0, 4, 1, 2}, none);
    ASSERT_EQ(outcomes.size(), 5u);
    for (const auto& o : outcomes) {
        EXPECT_EQ(o.axis, 2) << o.qubit;
        EXPECT_EQ(o.result, 0) << o.qubit;
    }
    EXPECT_TRUE(sim.peek_measure_set({}, none).empty());
    EXPECT_EQ(none.draws(), 0u);
}

// The first qubit of an entangled pair draws an axis and an outcome; by its turn the second
// is isolated and is reported along its certain axis without a draw.
TEST(Preview, EntangledPairDrawsOnlyForTheFirst) {
    Simulator sim(2);
    sim.h(0);
    sim.two_qubit(TwoQubitGate::cx, 0, 1);
    ASSERT_FALSE(sim.is_isolated(0));
    // 3x has high word 0, 1 and 2 for these values.
    for (auto [axis_value, axis] : {std::pair<std::uint32_t, int>{0x00000000u, 0}, {0x60000000u, 1}, {0xc0000000u, 2}}) {
        ScriptedSource src{axis_value, 0x80000000u};
        const auto outcomes = sim.peek_measure_set({1, 0}, src);
        EXPECT_EQ(src.draws(), 2u);
        ASSERT_EQ(outcomes.size(), 2u);
        EXPECT_EQ(outcomes[0].axis, axis);
        EXPECT_EQ(outcomes[0].qubit, 1u);
        EXPECT_EQ(outcomes[1].qubit, 0u);
        // Given the first outcome, the second is certain.
        StateVector psi = represented_state(sim);
        ASSERT_NEAR(psi.probability(1, outcomes[0].axis, outcomes[0].result), 0.5, kTol);
        psi.project(1, outcomes[0].axis, outcomes[0].result);
        EXPECT_NEAR(psi.probability(0, outcomes[1].axis, outcomes[1].result), 1.0, kTol);
    }
}

// Replays each preview: an isolated qubit must be reported along an axis whose outcome the
// oracle calls certain, drawing nothing; any other qubit takes one value for its axis, then
// one for its outcome.
TEST(Preview, AxisRuleAndDrawProtocol) {
    for (std::uint32_t seed = 0; seed < 400; ++seed) {
        std::mt19937 rng(5000 + seed);
        Simulator sim = random_small_state(seed, rng);
        std::vector<std::size_t> qubits;
        for (std::size_t q = 0; q < sim.size(); ++q)
            if (rng() % 4 != 0) qubits.push_back(q);
        std::shuffle(qubits.begin(), qubits.end(), rng);

        RecordingSource src(seed);
        const auto outcomes = sim.peek_measure_set(qubits, src);
        ASSERT_EQ(outcomes.size(), qubits.size());

        ScriptedSource replay(src.drawn());
        Simulator copy = sim;
        for (std::size_t i = 0; i < qubits.size(); ++i) {
            const PreviewOutcome& o = outcomes[i];
            const std::size_t q = qubits[i];
            ASSERT_EQ(o.qubit, q);
            ASSERT_LT(o.axis, 3);
            const StateVector psi = represented_state(copy);
            if (copy.is_isolated(q)) {
                EXPECT_NEAR(psi.probability(static_cast<int>(q), o.axis, o.result), 1.0, kTol) << "seed " << seed;
                const std::size_t drawn = replay.draws();
                EXPECT_EQ(copy.measure(q, o.axis, replay), o.result);
                EXPECT_EQ(replay.draws(), drawn) << "seed " << seed;
            } else {
                EXPECT_EQ(o.axis, draw_below_3(replay)) << "seed " << seed;
                EXPECT_NEAR(psi.probability(static_cast<int>(q), o.axis, o.result), 0.5, kTol) << "seed " << seed;
                EXPECT_EQ(copy.measure(q, o.axis, replay), o.result) << "seed " << seed;
            }
        }
        EXPECT_EQ(replay.draws(), src.drawn().size()) << "seed " << seed;
        ASSERT_FALSE(HasFailure()) << "seed " << seed;
    }
}

// ---- Entangled group ----

std::vector<std::size_t> sorted_group(const Simulator& sim, std::size_t q) {
    std::vector<std::size_t> g = sim.entangled_group(q);
    std::sort(g.begin(), g.end());
    return g;
}

std::vector<std::size_t> component_by_union_find(const Simulator& sim, std::size_t q) {
    std::vector<std::size_t> parent(sim.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](std::size_t x) {
        while (parent[x] != x) x = parent[x] = parent[parent[x]];
        return x;
    };
    for (std::size_t a = 0; a < sim.size(); ++a)
        for (std::size_t b = a + 1; b < sim.size(); ++b)
            if (sim.has_edge(a, b)) parent[find(a)] = find(b);
    std::vector<std::size_t> out;
    for (std::size_t x = 0; x < sim.size(); ++x)
        if (find(x) == find(q)) out.push_back(x);
    return out;
}

TEST(EntangledGroup, FreshQubitsStandAlone) {
    const Simulator sim(70);
    for (std::size_t q = 0; q < 70; ++q) EXPECT_EQ(sim.entangled_group(q), std::vector<std::size_t>{q});
}

TEST(EntangledGroup, EqualsTheConnectedComponent) {
    std::mt19937 rng(71);
    for (std::size_t n : {2u, 7u, 63u, 64u, 65u, 127u, 128u, 129u, 300u}) {
        // Around the percolation threshold, so that components of every size occur.
        for (double scale : {0.5, 1.0, 2.0}) {
            const Simulator sim = random_representation(n, scale / static_cast<double>(n), rng);
            for (std::size_t q = 0; q < n; ++q) {
                const auto group = sim.entangled_group(q);
                ASSERT_FALSE(group.empty());
                EXPECT_EQ(group.front(), q);
                EXPECT_EQ(sorted_group(sim, q), component_by_union_find(sim, q)) << "n = " << n << ", qubit " << q;
            }
        }
    }
}

TEST(EntangledGroup, FollowsAChainToItsEnd) {
    Simulator sim(10);
    for (std::size_t q = 0; q < 10; ++q) sim.h(q);
    for (std::size_t q = 0; q + 1 < 10; ++q) sim.cz(q, q + 1);
    std::vector<std::size_t> all(10);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(sorted_group(sim, 0), all);
    EXPECT_EQ(sorted_group(sim, 9), all);
}

// A group is a product factor of the state; a qubit in a group of two or more is entangled
// with the rest.
TEST(EntangledGroup, GroupsAreTheProductFactorsOfTheState) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        std::mt19937 rng(9000 + seed);
        const std::size_t n = 2 + seed % 5;
        Simulator sim(n);
        const int gates = static_cast<int>(rng() % 12);
        for (int i = 0; i < gates; ++i) apply_random_gate(sim, nullptr, rng);
        const StateVector psi = represented_state(sim);
        for (std::size_t q = 0; q < n; ++q) {
            const auto group = sorted_group(sim, q);
            const std::vector<int> part(group.begin(), group.end());
            EXPECT_TRUE(psi.is_product_across(part)) << "seed " << seed << ", qubit " << q;
            EXPECT_EQ(psi.is_product_across({static_cast<int>(q)}), group.size() == 1) << "seed " << seed << ", qubit " << q;
        }
    }
}

TEST(EntangledGroup, OutOfRangeQubitFails) {
    EXPECT_EQ(error_of([] { Simulator(3).entangled_group(3); }), "index out of bounds: the len is 3 but the index is 3");
    EXPECT_EQ(error_of([] { Simulator(0).entangled_group(0); }), index_message(0, 0));
}

}  // namespace
}  // namespace korvane_test
