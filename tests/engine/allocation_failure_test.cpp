// Out of memory never corrupts a simulator: for every operation, on states whose rows are
// sparse lists, windows that must grow, full rows and the pivot's operands, the k-th
// allocation of the call fails for every k. Each time the state must be exactly the state
// before the call (so its graph is as symmetric as before; a report counts the one-sided
// edges), and the same call retried without the fault must give the unfaulted result with
// the same random draws.
// Its own executable: the replaced allocation functions would affect every other test.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine_error.hpp"
#include "failing_allocator.hpp"  // this file is its one includer
#include "simulator.hpp"

namespace korvane_test {
namespace {

using korvane::RowLayout;
using korvane::Simulator;
namespace alloc = failing_allocator;

// The same values from the same seed: a call and its retry draw alike.
class Replayable final : public korvane::RandomSource {
public:
    explicit Replayable(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t next_u32() override {
        ++draws_;
        return static_cast<std::uint32_t>(engine_());
    }
    std::size_t draws() const { return draws_; }

private:
    std::mt19937 engine_;
    std::size_t draws_ = 0;
};

// The operands every operation is tried on, and the qubits the preview measures in turn.
struct Operands {
    std::size_t a, b;
    std::vector<std::size_t> preview;
};

using Results = std::vector<std::size_t>;
struct Operation {
    std::string name;
    // Runs the operation with its k-th allocation failing (k < 0: none).
    std::function<Results(Simulator&, const Operands&, korvane::RandomSource&, long k)> run;
};

std::vector<Operation> operations() {
    std::vector<Operation> ops;
    const std::pair<const char*, void (Simulator::*)(std::size_t)> gates[] = {
        {"h", &Simulator::h}, {"s", &Simulator::s}, {"sdag", &Simulator::sdag},
        {"x", &Simulator::x}, {"y", &Simulator::y}, {"z", &Simulator::z}};
    for (const auto& [name, method] : gates)
        ops.push_back({name, [method](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                           alloc::armed(k, [&] { (s.*method)(o.a); });
                           return Results{};
                       }});
    ops.push_back({"cz", [](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                       alloc::armed(k, [&] { s.cz(o.a, o.b); });
                       return Results{};
                   }});
    const char* names[] = {"cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"};
    for (int g = 0; g < 8; ++g)
        ops.push_back({names[g], [g](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                           alloc::armed(k, [&] { s.two_qubit(static_cast<korvane::TwoQubitGate>(g), o.a, o.b); });
                           return Results{};
                       }});
    for (std::uint8_t axis = 0; axis < 3; ++axis)
        ops.push_back({std::string("measure_") + "xyz"[axis],
                       [axis](Simulator& s, const Operands& o, korvane::RandomSource& rng, long k) {
                           return Results{alloc::armed(k, [&] { return s.measure(o.a, axis, rng); })};
                       }});
    ops.push_back({"peek_measure_set", [](Simulator& s, const Operands& o, korvane::RandomSource& rng, long k) {
                       Results out;
                       for (const auto& r : alloc::armed(k, [&] { return s.peek_measure_set(o.preview, rng); }))
                           out.insert(out.end(), {r.qubit, r.result, r.axis});
                       return out;
                   }});
    ops.push_back({"entangled_group", [](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                       return alloc::armed(k, [&] { return s.entangled_group(o.a); });
                   }});
    ops.push_back({"local_complement", [](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                       alloc::armed(k, [&] { s.local_complement(o.a); });
                       return Results{};
                   }});
    ops.push_back({"remove_vop", [](Simulator& s, const Operands& o, korvane::RandomSource&, long k) {
                       alloc::armed(k, [&] { s.remove_vop(o.a, o.b); });
                       return Results{};
                   }});
    return ops;
}

std::size_t one_sided_edges(const Simulator& sim) {
    std::size_t count = 0;
    for (std::size_t a = 0; a < sim.size(); ++a)
        sim.neighbours(a).for_each([&](korvane::Qubit m) { count += m >= sim.size() || !sim.has_edge(m, a); });
    return count;
}

// What a call gave: its results, or the message of its EngineError, or out of memory.
struct Outcome {
    Results values;
    std::string error;
    bool out_of_memory = false;
    bool operator==(const Outcome&) const = default;
};

Outcome call(const Operation& op, Simulator& sim, const Operands& o, korvane::RandomSource& rng, long k) {
    Outcome out;
    try {
        out.values = op.run(sim, o, rng, k);
    } catch (const korvane::EngineError& e) {
        out.error = e.what();
    } catch (const std::bad_alloc&) {
        out.out_of_memory = true;
    }
    return out;
}

// Fails every allocation of every operation in turn; returns how many failures it injected.
std::size_t fail_each_allocation(const Simulator& state, const Operands& o, const std::string& where) {
    std::size_t injected = 0;
    std::uint32_t seed = 1;
    for (const Operation& op : operations()) {
        SCOPED_TRACE(where + ", " + op.name);
        ++seed;
        Simulator want_state = state;
        Replayable want_rng(seed);
        const Outcome want = call(op, want_state, o, want_rng, -1);
        const std::size_t allocations = alloc::last_scope;
        for (std::size_t k = 0; k < allocations; ++k) {
            Simulator sim = state;
            Replayable rng(seed);
            const Outcome got = call(op, sim, o, rng, static_cast<long>(k));
            ++injected;
            // An operation may also get by without the allocation; then it must have completed.
            if (got.out_of_memory ? !(sim == state) : !(got == want && sim == want_state)) {
                ADD_FAILURE() << "allocation " << k << " of " << allocations << " failed and the state "
                              << (got.out_of_memory ? "changed" : "is not the unfaulted result")
                              << "; one-sided edges " << one_sided_edges(sim);
                break;
            }
            if (!got.out_of_memory) continue;
            Replayable retry_rng(seed);
            if (!(call(op, sim, o, retry_rng, -1) == want) || retry_rng.draws() != want_rng.draws() ||
                !(sim == want_state)) {
                ADD_FAILURE() << "after allocation " << k << " of " << allocations
                              << " failed, the retried call differs from the unfaulted one";
                break;
            }
        }
    }
    return injected;
}

// Random VOPs everywhere, except that the first operand gets one whose reduction is a
// pivot on an edge: three complementations, at it, its partner and it again.
void set_vops(Simulator& sim, std::mt19937& rng, std::size_t pivot) {
    std::uniform_int_distribution<int> vop(0, 23);
    for (std::size_t q = 0; q < sim.size(); ++q) sim.set_vop(q, static_cast<korvane::Vop>(vop(rng)));
    sim.set_vop(pivot, 8);
}

// Each pair of qubits in [lo, hi) joined with probability p.
void add_random_block(Simulator& sim, std::mt19937& rng, std::size_t lo, std::size_t hi, double p) {
    std::bernoulli_distribution edge(p);
    for (std::size_t a = lo; a < hi; ++a)
        for (std::size_t b = a + 1; b < hi; ++b)
            if (edge(rng)) sim.add_edge(a, b);
}

void check_both_layouts(const std::function<Simulator(RowLayout)>& make, const std::vector<Operands>& operands) {
    for (RowLayout layout : {RowLayout::windowed, RowLayout::full}) {
        const Simulator state = make(layout);
        std::size_t injected = 0;
        for (const Operands& o : operands)
            injected += fail_each_allocation(state, o,
                                             std::string(layout == RowLayout::full ? "full" : "windowed") +
                                                 " rows, operands " + std::to_string(o.a) + " " + std::to_string(o.b));
        // Guards the test itself: some calls must allocate, or nothing was tried.
        EXPECT_GT(injected, 0u);
    }
}

TEST(AllocationFailure, DenseRandomGraph) {
    check_both_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(300);
            Simulator sim(300, layout);
            add_random_block(sim, rng, 0, 300, 0.5);
            set_vops(sim, rng, 7);
            return sim;
        },
        // Every measurement here saves some 150 rows for the preview to put back, and each
        // attempt repeats the allocations before the failing one: one qubit is enough.
        // Then failing checks: out of memory while reporting them must not leave the basis
        // changes that a two-qubit gate made before its check.
        {{7, 8, {7}}, {299, 0, {0}}, {7, 300, {7, 300}}, {300, 7, {300}}, {8, 8, {}}});
}

// Rows of two members, far from the rows they are joined to by the operations.
TEST(AllocationFailure, LongChain) {
    check_both_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(5000);
            Simulator sim(5000, layout);
            for (std::size_t q = 0; q + 1 < 5000; ++q) sim.add_edge(q, q + 1);
            set_vops(sim, rng, 2500);
            return sim;
        },
        {{2500, 2501, {2500, 2499, 2502, 0}}, {10, 4990, {4990, 11, 10, 4999}}});
}

// A grid whose rows hold exactly as many members as a row record takes: any edit that
// adds one moves a row to the heap, and rows that lose members come back.
TEST(AllocationFailure, GridAtTheRecordsCapacity) {
    check_both_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(1600);
            Simulator sim(1600, layout);
            for (std::size_t q = 0; q < 1600; ++q) {
                if (q % 40 != 39) sim.add_edge(q, q + 1);
                if (q + 40 < 1600) sim.add_edge(q, q + 40);
            }
            set_vops(sim, rng, 820);
            return sim;
        },
        {{820, 821, {820, 861, 779, 0}}, {410, 1230, {1230, 450, 411, 1599}}});
}

// A dense cluster with a few members joined to qubits far away: edits of the cluster's
// rows must widen their windows.
TEST(AllocationFailure, ClusterWithFarMembers) {
    check_both_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(2000);
            Simulator sim(2000, layout);
            add_random_block(sim, rng, 0, 96, 0.4);
            for (std::size_t q = 1900; q < 2000; q += 9) sim.add_edge(q % 96, q);
            set_vops(sim, rng, 5);
            return sim;
        },
        {{5, 1909, {1909, 1, 5, 1999}}, {1990, 40, {40, 1900, 41, 2}}});
}

// A measured qubit whose neighbours' rows are of both kinds: windows that already cover
// the rule's operand, which its walk edits in place, and narrow ones that must grow after
// the walk. A failure there must take back the walk's edits too.
TEST(AllocationFailure, MeasuredRowsThatFitAndRowsThatGrow) {
    check_both_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(3000);
            Simulator sim(3000, layout);
            add_random_block(sim, rng, 1000, 1064, 0.5);
            for (std::size_t a = 1000; a < 1032; ++a) sim.add_edge(a, 2900);  // wide windows
            set_vops(sim, rng, 1000);
            sim.set_vop(1000, korvane::VOP_I);  // measured along the axis asked for
            return sim;
        },
        {{1000, 1040, {1000, 1040}}, {1040, 1000, {1040}}});
}

}  // namespace
}  // namespace korvane_test
