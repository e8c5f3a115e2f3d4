// Out of memory never corrupts a simulator: for every operation, on states whose rows are
// sparse lists, windows that must grow, full rows, the pivot's operands and every boundary
// between the rows' forms, in each row layout, the k-th allocation of the call fails for
// every k: once, and from then on, as when memory has really run out. Each time the state
// must be exactly the state before the call (so its graph is as symmetric as before; a
// report counts the one-sided edges), and the same call retried without the fault must
// give the unfaulted result with the same random draws.
// Its own executable: the replaced allocation functions would affect every other test.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "boundary_states.hpp"
#include "engine_error.hpp"
#include "failing_allocator.hpp"  // this file is its one includer
#include "simulator.hpp"

namespace korvane_test {
namespace {

using korvane::RowLayout;
using korvane::Simulator;
namespace alloc = failing_allocator;
using alloc::Mode;

// The same values from the same seed: a call and its retry draw alike. `raw` >= 0 fixes
// the top bit of the first value, the raw bit of a measurement.
class Replayable final : public korvane::RandomSource {
public:
    explicit Replayable(std::uint32_t seed, int raw = -1) : engine_(seed), raw_(raw) {}
    std::uint32_t next_u32() override {
        auto v = static_cast<std::uint32_t>(engine_());
        if (draws_++ == 0 && raw_ >= 0) v = (v & 0x7FFFFFFFu) | static_cast<std::uint32_t>(raw_) << 31;
        return v;
    }
    std::size_t draws() const { return draws_; }

private:
    std::mt19937 engine_;
    int raw_;
    std::size_t draws_ = 0;
};

// The operands every operation is tried on, and the qubits the preview measures in turn.
struct Operands {
    std::size_t a, b;
    std::vector<std::size_t> preview;
};

// Where allocations fail: from the k-th (k < 0: none), once or for good.
struct Fault {
    long k;
    Mode mode;
    template <class F>
    decltype(auto) operator()(F&& f) const {
        return alloc::armed(k, f, mode);
    }
};

using Results = std::vector<std::size_t>;
struct Operation {
    std::string name;
    int raw = -1;  // the measurement's raw bit, where it draws one
    std::function<Results(Simulator&, const Operands&, korvane::RandomSource&, Fault)> run;
};

std::vector<Operation> operations() {
    std::vector<Operation> ops;
    const std::pair<const char*, void (Simulator::*)(std::size_t)> gates[] = {
        {"h", &Simulator::h}, {"s", &Simulator::s}, {"sdag", &Simulator::sdag},
        {"x", &Simulator::x}, {"y", &Simulator::y}, {"z", &Simulator::z}};
    for (const auto& [name, method] : gates)
        ops.push_back({name, -1, [method](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                           f([&] { (s.*method)(o.a); });
                           return Results{};
                       }});
    ops.push_back({"cz", -1, [](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                       f([&] { s.cz(o.a, o.b); });
                       return Results{};
                   }});
    const char* names[] = {"cx", "cy", "xcx", "xcy", "xcz", "ycx", "ycy", "ycz"};
    for (int g = 0; g < 8; ++g)
        ops.push_back({names[g], -1, [g](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                           f([&] { s.two_qubit(static_cast<korvane::TwoQubitGate>(g), o.a, o.b); });
                           return Results{};
                       }});
    for (std::uint8_t axis = 0; axis < 3; ++axis)
        for (int raw = 0; raw < 2; ++raw)
            ops.push_back({std::string("measure_") + "xyz"[axis] + " drawing " + std::to_string(raw), raw,
                           [axis](Simulator& s, const Operands& o, korvane::RandomSource& rng, Fault f) {
                               return Results{f([&] { return s.measure(o.a, axis, rng); })};
                           }});
    ops.push_back({"peek_measure_set", -1, [](Simulator& s, const Operands& o, korvane::RandomSource& rng, Fault f) {
                       Results out;
                       for (const auto& r : f([&] { return s.peek_measure_set(o.preview, rng); }))
                           out.insert(out.end(), {r.qubit, r.result, r.axis});
                       return out;
                   }});
    ops.push_back({"entangled_group", -1, [](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                       return f([&] { return s.entangled_group(o.a); });
                   }});
    ops.push_back({"local_complement", -1, [](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                       f([&] { s.local_complement(o.a); });
                       return Results{};
                   }});
    ops.push_back({"remove_vop", -1, [](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                       f([&] { s.remove_vop(o.a, o.b); });
                       return Results{};
                   }});
    const std::pair<const char*, void (Simulator::*)(std::size_t, std::size_t)> edges[] = {
        {"add_edge", &Simulator::add_edge}, {"remove_edge", &Simulator::remove_edge},
        {"toggle_edge", &Simulator::toggle_edge}};
    for (const auto& [name, method] : edges)
        ops.push_back({name, -1, [method](Simulator& s, const Operands& o, korvane::RandomSource&, Fault f) {
                           f([&] { (s.*method)(o.a, o.b); });
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

Outcome call(const Operation& op, Simulator& sim, const Operands& o, korvane::RandomSource& rng, Fault fault) {
    Outcome out;
    try {
        out.values = op.run(sim, o, rng, fault);
    } catch (const korvane::EngineError& e) {
        out.error = e.what();
    } catch (const std::bad_alloc&) {
        out.out_of_memory = true;
    }
    return out;
}

// Trials run and trials whose call left the simulator wrong.
struct Tally {
    std::size_t trials = 0, failed = 0;
    Tally& operator+=(const Tally& t) {
        trials += t.trials;
        failed += t.failed;
        return *this;
    }
};

// Fails every allocation of every operation in turn, in the given mode, each trial on a
// copy of the state (a copy's rows keep the room of the original's). Once: each trial is
// retried. From then on: a trial that runs out of memory must leave the copy as it was, so
// the next one runs on what it left; the call is retried once all have run, so a simulator
// that has taken every failure must still compute as if it had taken none.
Tally fail_each_allocation(const Simulator& state, const Operands& o, Mode mode, const std::string& where) {
    Tally tally;
    std::uint32_t seed = 1;
    for (const Operation& op : operations()) {
        SCOPED_TRACE(where + ", " + op.name + (mode == Mode::once ? ", failing once" : ", failing from then on"));
        ++seed;
        Simulator want_state = state;
        Replayable want_rng(seed, op.raw);
        const Outcome want = call(op, want_state, o, want_rng, {-1, mode});
        const std::size_t allocations = alloc::last_scope;
        std::size_t failed = 0;
        auto report = [&](const std::string& what) {
            if (failed++ == 0) ADD_FAILURE() << what;
        };
        auto retry = [&](Simulator& sim, std::size_t k) {
            Replayable retry_rng(seed, op.raw);
            const Outcome again = call(op, sim, o, retry_rng, {-1, mode});
            if (!(again == want) || retry_rng.draws() != want_rng.draws() || !(sim == want_state))
                report("after allocation " + std::to_string(k) + " of " + std::to_string(allocations) +
                       " failed, the retried call differs from the unfaulted one");
        };
        Simulator sim = state;
        bool changed = false;  // sim is not the state any more
        for (std::size_t k = 0; k < allocations; ++k) {
            if (changed) sim = Simulator(state);  // a new copy: an assigned one may keep larger buffers
            Replayable rng(seed, op.raw);
            const Outcome got = call(op, sim, o, rng, {static_cast<long>(k), mode});
            ++tally.trials;
            // An operation may also get by without the allocation; then it must have completed.
            changed = true;
            if (got.out_of_memory ? !(sim == state) : !(got == want && sim == want_state)) {
                report("allocation " + std::to_string(k) + " of " + std::to_string(allocations) +
                       " failed and the state " + (got.out_of_memory ? "changed" : "is not the unfaulted result") +
                       "; one-sided edges " + std::to_string(one_sided_edges(sim)));
                continue;
            }
            if (!got.out_of_memory) continue;
            if (mode == Mode::once)
                retry(sim, k);
            else
                changed = false;
        }
        if (mode == Mode::persistent && allocations != 0) {
            if (changed) sim = Simulator(state);
            retry(sim, allocations - 1);
        }
        tally.failed += failed;
    }
    return tally;
}

constexpr RowLayout kLayouts[] = {RowLayout::automatic, RowLayout::windowed, RowLayout::full};
constexpr const char* kLayoutNames[] = {"automatic", "windowed", "full"};
constexpr Mode kModes[] = {Mode::once, Mode::persistent};

// Every operand pair on the state in each row layout, in both modes. The automatic layout
// is one of the other two, chosen by the qubit count: `automatic` says whether to try it
// as well.
Tally tally_layouts(const std::string& name, const std::function<Simulator(RowLayout)>& make,
                    const std::vector<Operands>& operands, bool automatic = true) {
    Tally total;
    for (std::size_t l = automatic ? 0 : 1; l < 3; ++l) {
        const Simulator state = make(kLayouts[l]);
        for (Mode mode : kModes) {
            Tally tally;
            for (const Operands& o : operands)
                tally += fail_each_allocation(state, o, mode,
                                              name + ", " + kLayoutNames[l] + " rows, operands " + std::to_string(o.a) +
                                                  " " + std::to_string(o.b));
            // Guards the test itself: some calls must allocate, or nothing was tried.
            EXPECT_GT(tally.trials, 0u) << name << ", " << kLayoutNames[l] << " rows";
            total += tally;
        }
    }
    return total;
}

// Windowed and full rows only: for each test below the automatic layout is one of them.
void check_layouts(const std::function<Simulator(RowLayout)>& make, const std::vector<Operands>& operands) {
    const Tally t =
        tally_layouts(::testing::UnitTest::GetInstance()->current_test_info()->name(), make, operands, false);
    EXPECT_EQ(t.failed, 0u) << "of " << t.trials << " trials";
}

TEST(AllocationFailure, DenseRandomGraph) {
    check_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(300);
            Simulator sim(300, layout);
            add_random_block(sim, rng, 0, 300, 0.5);
            set_random_vops(sim, rng, 7);
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
    check_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(5000);
            Simulator sim(5000, layout);
            for (std::size_t q = 0; q + 1 < 5000; ++q) sim.add_edge(q, q + 1);
            set_random_vops(sim, rng, 2500);
            return sim;
        },
        {{2500, 2501, {2500, 2499, 2502, 0}}, {10, 4990, {4990, 11, 10, 4999}}});
}

// A grid whose rows hold exactly as many members as a row record takes: any edit that
// adds one moves a row to the heap, and rows that lose members come back.
TEST(AllocationFailure, GridAtTheRecordsCapacity) {
    check_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(1600);
            Simulator sim(1600, layout);
            for (std::size_t q = 0; q < 1600; ++q) {
                if (q % 40 != 39) sim.add_edge(q, q + 1);
                if (q + 40 < 1600) sim.add_edge(q, q + 40);
            }
            set_random_vops(sim, rng, 820);
            return sim;
        },
        {{820, 821, {820, 861, 779, 0}}, {410, 1230, {1230, 450, 411, 1599}}});
}

// A dense cluster with a few members joined to qubits far away: edits of the cluster's
// rows must widen their windows.
TEST(AllocationFailure, ClusterWithFarMembers) {
    check_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(2000);
            Simulator sim(2000, layout);
            add_random_block(sim, rng, 0, 96, 0.4);
            for (std::size_t q = 1900; q < 2000; q += 9) sim.add_edge(q % 96, q);
            set_random_vops(sim, rng, 5);
            return sim;
        },
        {{5, 1909, {1909, 1, 5, 1999}}, {1990, 40, {40, 1900, 41, 2}}});
}

// A measured qubit whose neighbours' rows are of both kinds: windows that already cover
// the rule's operand, which its walk edits in place, and narrow ones that must grow after
// the walk. A failure there must take back the walk's edits too.
TEST(AllocationFailure, MeasuredRowsThatFitAndRowsThatGrow) {
    check_layouts(
        [](RowLayout layout) {
            std::mt19937 rng(3000);
            Simulator sim(3000, layout);
            add_random_block(sim, rng, 1000, 1064, 0.5);
            for (std::size_t a = 1000; a < 1032; ++a) sim.add_edge(a, 2900);  // wide windows
            set_random_vops(sim, rng, 1000);
            sim.set_vop(1000, korvane::VOP_I);  // measured along the axis asked for
            return sim;
        },
        {{1000, 1040, {1000, 1040}}, {1040, 1000, {1040}}});
}

// A measured hub whose first neighbour's row is a list with room to spare, as its growth
// left it, and whose second is a full record: the rule merges into the list in place, runs
// out of memory moving the record to the heap, and must undo the merge without memory.
TEST(AllocationFailure, MeasurementUndoesARowEditWithoutMemory) {
    Simulator sim(1000, RowLayout::windowed);
    for (std::size_t c : {10, 20, 30, 40}) sim.add_edge(500, c);
    for (std::size_t q = 600; sim.degree(10) < 9; q += 41) sim.add_edge(10, q);  // room for 16
    for (std::size_t q = 101; sim.degree(20) < 4; q += 41) sim.add_edge(20, q);
    const Simulator before = sim;
    Replayable rng(1);
    EXPECT_THROW(alloc::armed(2, [&] { sim.measure(500, 1, rng); }, Mode::persistent), std::bad_alloc);
    EXPECT_EQ(alloc::refused, 1u) << "the undo asked for memory";
    EXPECT_EQ(one_sided_edges(sim), 0u);
    EXPECT_TRUE(sim == before);
}

// The rows around the operands at each boundary of their forms (boundary_states.hpp).
TEST(AllocationFailure, RowsAtTheirFormBoundaries) {
    Tally total;
    for (const BoundaryState& b : boundary_states())
        total += tally_layouts(b.name, b.make, {{b.a, b.b, b.preview}});
    EXPECT_EQ(total.failed, 0u) << "of " << total.trials << " trials";
    std::printf("%zu trials, %zu failed\n", total.trials, total.failed);
}

}  // namespace
}  // namespace korvane_test
