// The simulator state: construction, single-qubit gates, edge primitives, neighbour
// iteration across 64-bit word boundaries, and the exact failure messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>
#include <limits>
#include <random>
#include <set>

#include "engine_error.hpp"
#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

TEST(GraphState, FreshSimulatorIsAllZero) {
    for (int n = 0; n <= 6; ++n) {
        const Simulator sim(static_cast<std::size_t>(n));
        ASSERT_EQ(sim.size(), static_cast<std::size_t>(n));
        for (std::size_t q = 0; q < sim.size(); ++q) {
            EXPECT_EQ(sim.vop(q), VOP_H);
            EXPECT_TRUE(sim.is_isolated(q));
        }
        if (n > 0) {
            EXPECT_TRUE(SameState(StateVector(n), represented_state(sim))) << n << " qubits";
        }
    }
}

TEST(GraphState, CopiesAreDeep) {
    Simulator a(70);
    a.add_edge(3, 68);
    Simulator b = a;
    EXPECT_EQ(a, b);
    b.add_edge(0, 69);
    b.h(5);
    EXPECT_FALSE(a.has_edge(0, 69));
    EXPECT_EQ(a.vop(5), VOP_H);
    EXPECT_NE(a, b);
}

// Every gate applied to every VOP, on a qubit that has neighbours, against the oracle.
TEST(SingleQubitGates, MatchTheOracleFromEveryVop) {
    Simulator base(3);
    base.add_edge(0, 1);
    base.add_edge(1, 2);
    base.set_vop(0, 17);
    base.set_vop(2, 6);
    for (int v = 0; v < 24; ++v) {
        base.set_vop(1, static_cast<Vop>(v));
        const StateVector before = represented_state(base);
        for (const auto& g : single_qubit_gates()) {
            Simulator sim = base;
            (sim.*g.method)(1);
            StateVector want = before;
            want.apply(1, g.matrix);
            EXPECT_TRUE(SameState(want, represented_state(sim))) << g.name << " on VOP " << v;
            Simulator graph_only = sim;
            graph_only.set_vop(1, base.vop(1));
            EXPECT_EQ(graph_only, base) << g.name << " touched more than the VOP of its qubit";
        }
        for (int row = 0; row < 24; ++row) {
            Simulator sim = base;
            sim.apply_gate(1, static_cast<Vop>(row));
            StateVector want = before;
            want.apply(1, vop_matrix(row));
            EXPECT_TRUE(SameState(want, represented_state(sim))) << "row " << row << " on VOP " << v;
        }
    }
}

TEST(SingleQubitGates, NeverChangeTheGraph) {
    std::mt19937 rng(3);
    Simulator sim = random_representation(130, 0.2, rng);
    const RefGraph graph(sim);
    std::uniform_int_distribution<std::size_t> qubit(0, 129);
    std::uniform_int_distribution<std::size_t> gate(0, 5);
    for (int i = 0; i < 2000; ++i) (sim.*single_qubit_gates()[gate(rng)].method)(qubit(rng));
    EXPECT_TRUE(SameGraph(graph, sim));
}

TEST(SingleQubitGates, OutOfRangeIndexFailsAndChangesNothing) {
    Simulator sim(3);
    sim.h(2);  // index n - 1 is fine
    const Simulator before = sim;
    for (const auto& g : single_qubit_gates()) {
        EXPECT_EQ(error_of([&] { (sim.*g.method)(3); }), index_message(3, 3)) << g.name;
        EXPECT_EQ(error_of([&] { (sim.*g.method)(SIZE_MAX); }), index_message(3, SIZE_MAX)) << g.name;
    }
    EXPECT_EQ(error_of([&] { sim.apply_gate(3, VOP_H); }), "index out of bounds: the len is 3 but the index is 3");
    EXPECT_EQ(sim, before);

    Simulator empty(0);
    EXPECT_EQ(error_of([&] { empty.h(0); }), "index out of bounds: the len is 0 but the index is 0");
}

TEST(GraphState, UnrepresentableSizeIsCapacityOverflow) {
    EXPECT_EQ(error_of([] { Simulator s(SIZE_MAX); }), "capacity overflow");
    const auto beyond_ptrdiff = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) + 1;
    EXPECT_EQ(error_of([&] { Simulator s(beyond_ptrdiff); }), "capacity overflow");
}

// Random add/remove/toggle against an adjacency matrix, biased towards indices around
// word boundaries.
TEST(EdgePrimitives, MatchAReferenceGraphAcrossWordBoundaries) {
    std::mt19937 rng(11);
    for (RowLayout layout : kBothLayouts)
    for (std::size_t n : {2u, 3u, 63u, 64u, 65u, 127u, 128u, 129u, 200u}) {
        Simulator sim(n, layout);
        SCOPED_TRACE(layout_name(layout));
        RefGraph ref(sim);
        std::vector<std::size_t> pool;
        for (std::size_t q : {0u, 1u, 31u, 32u, 62u, 63u, 64u, 65u, 127u, 128u, 129u, 191u, 192u})
            if (q < n) pool.push_back(q);
        pool.push_back(n - 1);
        auto pick = [&] {
            if (std::bernoulli_distribution(0.5)(rng))
                return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(rng)];
            return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
        };
        for (int i = 0; i < 3000; ++i) {
            const std::size_t a = pick();
            std::size_t b = pick();
            if (a == b) continue;
            const std::size_t da = sim.degree(a), db = sim.degree(b);
            const bool had = sim.has_edge(a, b);
            switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
                case 0:
                    sim.add_edge(a, b);
                    if (!ref.has(a, b)) ref.toggle(a, b);
                    EXPECT_EQ(sim.degree(a), da + (had ? 0 : 1));
                    EXPECT_EQ(sim.degree(b), db + (had ? 0 : 1));
                    break;
                case 1:
                    sim.remove_edge(a, b);
                    ref.remove(a, b);
                    EXPECT_EQ(sim.degree(a), da - (had ? 1 : 0));
                    break;
                default:
                    sim.toggle_edge(a, b);
                    ref.toggle(a, b);
                    break;
            }
            EXPECT_EQ(sim.has_edge(b, a), ref.has(a, b));
            if (i % 500 == 0) {
                ASSERT_TRUE(SameGraph(ref, sim)) << "n = " << n << " after " << i << " steps";
            }
        }
        ASSERT_TRUE(SameGraph(ref, sim)) << "n = " << n;
        // Toggling twice restores both sets.
        const Simulator before = sim;
        sim.toggle_edge(0, n - 1);
        sim.toggle_edge(n - 1, 0);
        EXPECT_EQ(sim, before);
    }
}

TEST(EdgePrimitives, NeighboursIterateInAscendingOrderWhateverTheInsertionOrder) {
    std::mt19937 rng(5);
    for (std::size_t n : {63u, 64u, 65u, 127u, 128u, 129u}) {
        for (std::size_t hub : {std::size_t{0}, n / 2, n - 1}) {
            Simulator sim(n, kBothLayouts[hub % 2]);
            std::vector<std::size_t> others;
            for (std::size_t q = 0; q < n; ++q)
                if (q != hub) others.push_back(q);
            std::vector<std::size_t> order = others;
            std::reverse(order.begin(), order.end());
            std::shuffle(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(order.size() / 2), rng);
            for (std::size_t q : order) sim.add_edge(hub, q);

            std::vector<std::size_t> visited;
            sim.neighbours(hub).for_each([&](Qubit q) { visited.push_back(q); });
            EXPECT_EQ(visited, others) << "n = " << n << ", hub " << hub;
            std::vector<std::size_t> members;
            for (Qubit q : sim.neighbours(hub).members()) members.push_back(q);
            EXPECT_EQ(members, others);
            EXPECT_EQ(sim.degree(hub), n - 1);
            EXPECT_FALSE(sim.has_edge(hub, hub));
            for (std::size_t q : others) EXPECT_EQ(sim.neighbours(q).members(), std::vector<Qubit>{Qubit(hub)});
        }
    }
}

// A row grows from empty to far past any storage threshold and shrinks back, by single
// edits and by toggles; membership, order and degree must hold at every step.
TEST(EdgePrimitives, RowsKeepTheirMembersWhileGrowingAndShrinking) {
    std::mt19937 rng(13);
    for (RowLayout layout : kBothLayouts)
    for (std::size_t n : {64u, 65u, 129u, 1100u}) {
        Simulator sim(n, layout);
        SCOPED_TRACE(layout_name(layout));
        const std::size_t hub = n / 3;
        std::vector<std::size_t> others;
        for (std::size_t q = 0; q < n; ++q)
            if (q != hub) others.push_back(q);
        std::shuffle(others.begin(), others.end(), rng);
        others.resize(std::min<std::size_t>(others.size(), 120));
        std::set<std::size_t> want;
        auto check = [&](const char* phase) {
            const std::vector<Qubit> got = sim.neighbours(hub).members();
            ASSERT_EQ(std::vector<std::size_t>(got.begin(), got.end()), std::vector<std::size_t>(want.begin(), want.end()))
                << "n = " << n << ", " << phase;
            ASSERT_EQ(sim.degree(hub), want.size());
            ASSERT_EQ(sim.is_isolated(hub), want.empty());
            for (std::size_t q : others) ASSERT_EQ(sim.has_edge(hub, q), want.count(q) == 1) << q;
            for (std::size_t q : others) ASSERT_EQ(sim.has_edge(q, hub), want.count(q) == 1) << q;
        };
        for (std::size_t q : others) {
            sim.add_edge(hub, q);
            want.insert(q);
            check("growing");
        }
        std::shuffle(others.begin(), others.end(), rng);
        for (std::size_t i = 0; i < others.size(); ++i) {
            if (i % 2 == 0) {
                sim.remove_edge(others[i], hub);
            } else {
                sim.toggle_edge(hub, others[i]);
            }
            want.erase(others[i]);
            check("shrinking");
        }
        for (std::size_t q : others) {
            sim.toggle_edge(q, hub);
            want.insert(q);
            check("toggling on");
        }
    }
}

// Equality is by members, however a row came to hold them.
TEST(EdgePrimitives, EqualityComparesMembersWhateverTheHistory) {
    Simulator grown(64), direct(64);
    for (std::size_t q = 1; q < 40; ++q) grown.add_edge(0, q);
    for (std::size_t q = 2; q < 40; ++q) grown.remove_edge(0, q);
    direct.add_edge(0, 1);
    EXPECT_EQ(grown, direct);
    Simulator other(64);
    other.add_edge(0, 2);
    EXPECT_NE(grown, other);
    EXPECT_NE(direct, other);
    grown.add_edge(0, 2);
    grown.remove_edge(0, 1);
    EXPECT_EQ(grown, other);
    EXPECT_NE(grown, direct);

    // Same degrees everywhere, different edges: rows that once were long against rows
    // that never were.
    Simulator matched_a(64), matched_b(64);
    for (std::size_t a = 0; a < 6; ++a)
        for (std::size_t b = a + 1; b < 6; ++b) matched_a.add_edge(a, b);
    for (std::size_t a = 0; a < 6; ++a)
        for (std::size_t b = a + 1; b < 6; ++b)
            if (!((a == 0 && b == 1) || (a == 2 && b == 3))) matched_a.remove_edge(a, b);
    matched_b.add_edge(0, 2);
    matched_b.add_edge(1, 3);
    EXPECT_NE(matched_a, matched_b);
    matched_b.remove_edge(0, 2);
    matched_b.remove_edge(1, 3);
    matched_b.add_edge(1, 0);
    matched_b.add_edge(3, 2);
    EXPECT_EQ(matched_a, matched_b);
}

TEST(EdgePrimitives, IndicesBeyondTheRoomAreNotMembers) {
    Simulator sim(65);
    sim.add_edge(0, 64);
    EXPECT_TRUE(sim.has_edge(0, 64));
    for (std::size_t b : {65u, 127u, 128u, 100000u}) EXPECT_FALSE(sim.neighbours(0).contains(b));
    for (std::size_t q = 1; q < 60; ++q) sim.add_edge(0, q);
    for (std::size_t b : {65u, 127u, 128u, 100000u}) EXPECT_FALSE(sim.neighbours(0).contains(b));
    const NeighbourSet empty_room;
    EXPECT_FALSE(empty_room.contains(0));
    EXPECT_TRUE(empty_room.empty());
    EXPECT_EQ(empty_room.size(), 0u);
}

// The engine is a library of its own: every entry point checks what it is given, and a
// refused call changes nothing.
TEST(EngineApi, RefusesWhatItCannotHold) {
    Simulator sim(3);
    sim.add_edge(0, 1);
    const Simulator before = sim;
    const std::string beyond = index_message(3, 3);
    ScriptedSource rng({});
    const std::vector<std::pair<std::string, std::function<void()>>> calls = {
        {beyond, [&] { (void)sim.vop(3); }},
        {beyond, [&] { sim.set_vop(3, 0); }},
        {"vop out of range: 24 is not below 24", [&] { sim.set_vop(0, 24); }},
        {beyond, [&] { (void)sim.neighbours(3); }},
        {beyond, [&] { (void)sim.has_edge(0, 3); }},
        {beyond, [&] { (void)sim.has_edge(3, 0); }},
        {beyond, [&] { (void)sim.degree(3); }},
        {beyond, [&] { (void)sim.is_isolated(3); }},
        {beyond, [&] { sim.add_edge(0, 3); }},
        {beyond, [&] { sim.remove_edge(3, 1); }},
        {beyond, [&] { sim.toggle_edge(1, 3); }},
        {equal_operands_message(2), [&] { sim.add_edge(2, 2); }},
        {equal_operands_message(1), [&] { sim.toggle_edge(1, 1); }},
        {"axis out of range: 3 is not 0 (X), 1 (Y) or 2 (Z)", [&] { sim.measure(0, 3, rng); }},
        {"two-qubit gate out of range: 8", [&] { sim.two_qubit(static_cast<TwoQubitGate>(8), 0, 1); }},
    };
    for (const auto& [message, call] : calls) {
        EXPECT_EQ(error_of(call), message);
        EXPECT_EQ(sim, before) << message;
    }
}

}  // namespace
}  // namespace korvane_test
