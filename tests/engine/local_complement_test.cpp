// Local complementation and VOP reduction keep the represented state; the graph rewrite
// matches a literal pair-by-pair reference on large graphs.
#include <gtest/gtest.h>

#include <random>

#include "decomposition_table.hpp"
#include "engine_error.hpp"
#include "test_support.hpp"

namespace korvane_test {
namespace {

using namespace korvane;

constexpr int kSqrtPlusIX = 14;  // (I + iX)/sqrt2
constexpr int kS = 6;

// Every unordered pair of distinct neighbours toggled once; factor S on each neighbour and
// (I + iX)/sqrt2 on the vertex, both on the right.
void reference_local_complement(RefGraph& g, std::vector<int>& vops, std::size_t v) {
    const std::vector<std::size_t> hood = g.neighbours(v);
    for (std::size_t i = 0; i < hood.size(); ++i) {
        for (std::size_t j = i + 1; j < hood.size(); ++j) g.toggle(hood[i], hood[j]);
        vops[hood[i]] = ref_mult(vops[hood[i]], kS);
    }
    vops[v] = ref_mult(vops[v], kSqrtPlusIX);
}

std::vector<int> vops_of(const Simulator& sim) {
    std::vector<int> out;
    for (std::size_t q = 0; q < sim.size(); ++q) out.push_back(sim.vop(q));
    return out;
}

TEST(LocalComplement, KeepsTheRepresentedState) {
    std::mt19937 rng(21);
    for (int trial = 0; trial < 300; ++trial) {
        const std::size_t n = 1 + trial % 7;
        const Simulator base = random_representation(n, 0.2 + 0.1 * (trial % 6), rng);
        const StateVector want = represented_state(base);
        for (std::size_t v = 0; v < n; ++v) {
            Simulator sim = base;
            sim.local_complement(v);
            ASSERT_TRUE(SameState(want, represented_state(sim))) << "trial " << trial << ", vertex " << v;
        }
    }
}

TEST(LocalComplement, MatchesPairByPairReferenceOnLargeGraphs) {
    std::mt19937 rng(22);
    for (RowLayout layout : kBothLayouts)
    for (std::size_t n : {5u, 63u, 64u, 65u, 127u, 128u, 129u, 200u, 1100u}) {
        // Sparse rows past the linear-scan length, rows at the form switch, and dense rows.
        for (double p : n > 500 ? std::vector<double>{0.02} : std::vector<double>{0.03, 0.3, 0.8}) {
            Simulator sim = random_representation(n, p, rng, layout);
            SCOPED_TRACE(layout_name(layout));
            RefGraph ref(sim);
            std::vector<int> vops = vops_of(sim);
            for (int step = 0; step < 12; ++step) {
                const std::size_t v = step < 3 ? std::vector<std::size_t>{0, n / 2, n - 1}[step]
                                               : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
                sim.local_complement(v);
                reference_local_complement(ref, vops, v);
                ASSERT_TRUE(SameGraph(ref, sim)) << "n = " << n << ", p = " << p << ", vertex " << v;
                ASSERT_EQ(vops_of(sim), vops) << "n = " << n << ", p = " << p << ", vertex " << v;
            }
        }
    }
}

TEST(LocalComplement, OutOfRangeVertexFailsWithTheIndexMessage) {
    Simulator sim(3);
    const Simulator before = sim;
    EXPECT_EQ(error_of([&] { sim.local_complement(3); }), index_message(3, 3));
    EXPECT_EQ(error_of([&] { sim.remove_vop(3, 0); }), index_message(3, 3));
    EXPECT_EQ(error_of([&] { sim.remove_vop(0, 3); }), index_message(3, 3));
    EXPECT_EQ(sim, before);
}

// For every VOP, from graphs in which `node` has a neighbour other than `avoid`.
TEST(RemoveVop, ClearsEveryVopAndKeepsTheState) {
    std::mt19937 rng(23);
    for (int v = 0; v < 24; ++v) {
        int done = 0;
        for (int attempt = 0; done < 40 && attempt < 1000; ++attempt) {
            const std::size_t n = 2 + static_cast<std::size_t>(attempt % 6);
            Simulator sim = random_representation(n, 0.5, rng);
            std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
            const std::size_t node = qubit(rng);
            std::size_t avoid = qubit(rng);
            while (avoid == node) avoid = qubit(rng);
            const std::size_t others = sim.degree(node) - (sim.has_edge(node, avoid) ? 1 : 0);
            if (others == 0) continue;
            ++done;
            sim.set_vop(node, static_cast<Vop>(v));
            const Simulator before = sim;
            sim.remove_vop(node, avoid);
            EXPECT_EQ(sim.vop(node), 0) << "v = " << v;
            EXPECT_TRUE(SameState(represented_state(before), represented_state(sim))) << "v = " << v;
            if (v == 0) {
                EXPECT_EQ(sim, before) << "four complementations at one vertex are the identity";
            }
        }
        EXPECT_EQ(done, 40) << "v = " << v;
    }
}

// Every VOP's whole complementation sequence, against the pair-by-pair reference, on
// graphs whose rows cross word and storage-form boundaries; the node and its partner are
// adjacent (the pivot case) or not.
TEST(RemoveVop, MatchesTheLiteralSequenceOnLargeGraphs) {
    std::mt19937 rng(27);
    for (RowLayout layout : kBothLayouts)
    for (std::size_t n : {63u, 64u, 65u, 129u, 300u, 700u, 1000u}) {
        // Up to 1024 qubits a pivot over full rows unrolls its XOR, for 2 to 16 words.
        for (double p : n > 500 ? std::vector<double>{0.03} : std::vector<double>{0.04, 0.3, 0.85}) {
            for (int v = 1; v < 24; ++v) {
                Simulator sim = random_representation(n, p, rng, layout);
                SCOPED_TRACE(layout_name(layout));
                std::uniform_int_distribution<std::size_t> qubit(0, n - 1);
                const std::size_t node = qubit(rng);
                std::size_t avoid = qubit(rng);
                while (avoid == node) avoid = qubit(rng);
                if (v % 4 == 0) {  // node joined to avoid alone, or isolated
                    for (std::size_t q = 0; q < n; ++q)
                        if (q != node) sim.remove_edge(node, q);
                    if (v % 8 == 0) sim.add_edge(node, avoid);
                }
                sim.set_vop(node, static_cast<Vop>(v));
                const Qubit first = sim.neighbours(node).first_except(avoid);
                const std::size_t partner = first == NeighbourSet::kNone ? avoid : first;
                RefGraph ref(sim);
                std::vector<int> vops = vops_of(sim);
                const Decomposition& d = DECOMPOSITION_TABLE[v];
                for (int i = 0; i < d.length; ++i) reference_local_complement(ref, vops, d.steps[i] == 0 ? node : partner);
                sim.remove_vop(node, avoid);
                ASSERT_TRUE(SameGraph(ref, sim)) << "n = " << n << ", p = " << p << ", v = " << v;
                ASSERT_EQ(vops_of(sim), vops) << "n = " << n << ", p = " << p << ", v = " << v;
            }
        }
    }
}

TEST(RemoveVop, AvoidIsTheOnlyNeighbour) {
    std::mt19937 rng(24);
    for (int v = 0; v < 24; ++v) {
        for (int trial = 0; trial < 5; ++trial) {
            // node 0 is joined to avoid 1 only; avoid has further neighbours.
            Simulator sim = random_representation(5, 0.5, rng);
            for (std::size_t q = 2; q < 5; ++q) sim.remove_edge(0, q);
            sim.add_edge(0, 1);
            sim.add_edge(1, 2);
            sim.set_vop(0, static_cast<Vop>(v));
            const Simulator before = sim;
            sim.remove_vop(0, 1);
            EXPECT_EQ(sim.vop(0), 0) << "v = " << v;
            EXPECT_TRUE(SameState(represented_state(before), represented_state(sim))) << "v = " << v;
        }
    }
}

// The partner is the lowest neighbour that is not `avoid`, also when the row is long and
// when the neighbours lie beyond the first 64-bit word.
TEST(RemoveVop, SwapPartnerIsTheLowestNeighbourOtherThanAvoid) {
    struct Config {
        std::size_t n, node;
        std::vector<std::size_t> hood;
        std::size_t avoid, partner;
    };
    std::vector<std::size_t> wide{3, 10, 20, 21, 22, 40, 64, 65, 100, 130, 150, 199};
    std::vector<std::size_t> second_word, low;
    for (std::size_t q = 65; q <= 80; ++q) second_word.push_back(q);
    for (std::size_t q = 0; q <= 20; ++q) low.push_back(q);
    const std::vector<Config> configs{
        {8, 0, {2, 5}, 2, 5},
        {8, 0, {2, 5}, 7, 2},
        {200, 0, wide, 3, 10},
        {200, 0, wide, 1, 3},
        {200, 0, wide, 64, 3},
        {200, 0, second_word, 65, 66},
        {200, 0, second_word, 1, 65},
        {200, 150, low, 0, 1},
        {200, 150, low, 199, 0},
    };
    std::mt19937 rng(25);
    for (const Config& c : configs) {
        Simulator base = random_representation(c.n, 0.03, rng);
        for (std::size_t q = 0; q < c.n; ++q)
            if (q != c.node) base.remove_edge(c.node, q);
        for (std::size_t q : c.hood) base.add_edge(c.node, q);
        auto reduce_with = [&](Simulator sim, std::size_t partner) {
            const Decomposition& d = DECOMPOSITION_TABLE[sim.vop(c.node)];
            for (int i = 0; i < d.length; ++i) sim.local_complement(d.steps[i] == 0 ? c.node : partner);
            return sim;
        };
        for (int v = 0; v < 24; ++v) {
            base.set_vop(c.node, static_cast<Vop>(v));
            Simulator sim = base;
            sim.remove_vop(c.node, c.avoid);
            EXPECT_TRUE(SameRepresentation(reduce_with(base, c.partner), sim))
                << "n = " << c.n << ", v = " << v << ", avoid " << c.avoid;
            EXPECT_EQ(sim.vop(c.node), 0);
        }
        // Partners are distinguishable, so the comparison above decides the choice.
        base.set_vop(c.node, 5);
        const std::size_t other = c.partner == c.hood.back() ? c.hood.front() : c.hood.back();
        EXPECT_FALSE(SameRepresentation(reduce_with(base, c.partner), reduce_with(base, other)));
    }
}

TEST(RemoveVop, IsolatedNodeComplementsAtAvoid) {
    std::mt19937 rng(26);
    Simulator base = random_representation(5, 0.6, rng);
    for (std::size_t q = 1; q < 5; ++q) base.remove_edge(0, q);
    base.add_edge(1, 2);

    // One code-0 step: the node's own complementation clears (I - iX)/sqrt2.
    Simulator sim = base;
    sim.set_vop(0, 15);
    const Simulator before15 = sim;
    sim.remove_vop(0, 1);
    EXPECT_EQ(sim.vop(0), 0);
    EXPECT_TRUE(SameState(represented_state(before15), represented_state(sim)));

    // One code-1 step: it complements at `avoid`, which is not adjacent, so the node keeps S^dagger.
    sim = base;
    sim.set_vop(0, 5);
    const Simulator before5 = sim;
    sim.remove_vop(0, 1);
    RefGraph ref(before5);
    std::vector<int> vops = vops_of(before5);
    reference_local_complement(ref, vops, 1);
    EXPECT_TRUE(SameGraph(ref, sim));
    EXPECT_EQ(vops_of(sim), vops);
    EXPECT_EQ(sim.vop(0), 5);
    EXPECT_TRUE(SameState(represented_state(before5), represented_state(sim)));
}

}  // namespace
}  // namespace korvane_test
